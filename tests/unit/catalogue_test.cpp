// The compressor catalogue against the double's compression manager.
#include "fakewin/fakewin.h"
#include "fakewin/ic.h"
#include "fakewin/kernel.h"
#include "fakewin/screen.h"
#include "recorder/scrcam.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

namespace {

fakewin::FakeCompressor compressor(const char *code, const char16_t *description) {
    fakewin::FakeCompressor c;
    c.fccHandler = mmioFOURCC(code[0], code[1], code[2], code[3]);
    c.description = description;
    return c;
}
const auto refuse = [](const BITMAPINFOHEADER &) { return false; };
const HWND Owner = (HWND)(uintptr_t)0x4242;

class Catalogue : public ::testing::Test {
  protected:
    void SetUp() override {
        fakewin::reset();
        fakewin::set_screen(1024, 768, 32);
        cam = std::make_unique<TScreenCam>(nullptr);
    }
    void TearDown() override {
        cam.reset();
        EXPECT_EQ(fakewin::open_compressors(), 0);
        EXPECT_EQ(fakewin::live_objects(), fakewin::LiveObjects());
    }
    std::u16string description(int i) const { return cam->Compressors[i].szDescription; }
    size_t log_size() const { return fakewin::compressor_log().size(); }

    std::unique_ptr<TScreenCam> cam;
};

TEST_F(Catalogue, KeepsAcceptingCompressorsPackedInManagerOrder) {
    BITMAPINFOHEADER asked = {};
    auto first = compressor("MSVC", u"Video 1");
    first.accepts = [&](const BITMAPINFOHEADER &h) {
        asked = h;
        return true;
    };
    fakewin::install_compressor(first);
    auto second = compressor("IV50", u"Refuses");
    second.accepts = refuse;
    fakewin::install_compressor(second);
    auto broken = compressor("BRKN", u"Cannot open");
    broken.open_fails = true;
    fakewin::install_compressor(broken);
    auto audio = compressor("PCMX", u"Not video");
    audio.fccType = mmioFOURCC('a', 'u', 'd', 'c');
    fakewin::install_compressor(audio);
    // Its driver leaves the codes out of its own description.
    auto third = compressor("cvid", u"Third");
    third.info_without_codes = true;
    fakewin::install_compressor(third);

    cam->EnumerateCompressors();
    ASSERT_EQ(cam->CompressorCount, 2);
    EXPECT_EQ(cam->Compressors[0].fccType, ICTYPE_VIDEO);
    EXPECT_EQ(cam->Compressors[0].fccHandler, mmioFOURCC('M', 'S', 'V', 'C'));
    EXPECT_EQ(description(0), u"Video 1");
    EXPECT_EQ(cam->Compressors[1].fccType, ICTYPE_VIDEO);
    EXPECT_EQ(cam->Compressors[1].fccHandler, mmioFOURCC('c', 'v', 'i', 'd'));
    EXPECT_EQ(description(1), u"Third");

    // The probe is the top-left 320 x 200 at the screen's depth, uncompressed.
    EXPECT_EQ(asked.biWidth, 320);
    EXPECT_EQ(asked.biHeight, 200);
    EXPECT_EQ(asked.biBitCount, 32);
    EXPECT_EQ(asked.biCompression, (DWORD)BI_RGB);
    // Every compressor is opened in query mode and each opened one closed again.
    EXPECT_EQ(fakewin::compressor_log(),
              (std::vector<std::string>{"open MSVC 4", "query MSVC 320x200x32", "close MSVC",
                                        "open IV50 4", "query IV50 320x200x32", "close IV50",
                                        "open BRKN 4", "open cvid 4", "query cvid 320x200x32",
                                        "close cvid"}));
}

TEST_F(Catalogue, ConsidersOnlyTheFirst32ManagerIndices) {
    for (int i = 0; i < 40; i++) {
        std::string code = "C" + std::to_string(100 + i);
        fakewin::install_compressor(compressor(code.c_str(), u"many"));
    }
    cam->EnumerateCompressors();
    EXPECT_EQ(cam->CompressorCount, 32);
    EXPECT_EQ(cam->Compressors[31].fccHandler, mmioFOURCC('C', '1', '3', '1'));
    int opens = 0;
    for (const std::string &line : fakewin::compressor_log())
        opens += line.rfind("open ", 0) == 0;
    EXPECT_EQ(opens, 32);
}

TEST_F(Catalogue, NothingAcceptingLeavesAnEmptyCatalogueThatIgnoresEveryIndex) {
    auto a = compressor("MSVC", u"Video 1");
    a.accepts = refuse;
    a.has_about = a.has_configure = true;
    fakewin::install_compressor(a);
    cam->EnumerateCompressors();
    EXPECT_EQ(cam->CompressorCount, 0);

    size_t before = log_size();
    bool about = true, configure = true;
    cam->QueryCompressorDialogs(0, about, configure);
    cam->ShowCompressorAbout(0, Owner);
    cam->ConfigureCompressor(0, Owner);
    EXPECT_FALSE(about);
    EXPECT_FALSE(configure);
    EXPECT_EQ(log_size(), before);
    EXPECT_TRUE(fakewin::compressor_dialogs().empty());
}

TEST_F(Catalogue, IndexesAtOrPastTheCountAnd255DoNothing) {
    auto a = compressor("MSVC", u"Video 1");
    a.has_about = a.has_configure = true;
    fakewin::install_compressor(a);
    fakewin::install_compressor(a);
    cam->EnumerateCompressors();
    ASSERT_EQ(cam->CompressorCount, 2);
    // An entry past the count still holds a valid-looking compressor from an earlier pass.
    cam->Compressors[2] = cam->Compressors[0];

    size_t before = log_size();
    for (uint8_t index : {uint8_t(2), uint8_t(31), uint8_t(255)}) {
        bool about = true, configure = true;
        cam->QueryCompressorDialogs(index, about, configure);
        EXPECT_FALSE(about) << int(index);
        EXPECT_FALSE(configure) << int(index);
        cam->ShowCompressorAbout(index, Owner);
        cam->ConfigureCompressor(index, Owner);
    }
    EXPECT_EQ(log_size(), before);
    EXPECT_TRUE(fakewin::compressor_dialogs().empty());
}

TEST_F(Catalogue, EachDialogIsAskedForAndShownSeparately) {
    auto about_only = compressor("ABOU", u"About only");
    about_only.has_about = true;
    auto configure_only = compressor("CONF", u"Configure only");
    configure_only.has_configure = true;
    fakewin::install_compressor(about_only);
    fakewin::install_compressor(configure_only);
    cam->EnumerateCompressors();
    ASSERT_EQ(cam->CompressorCount, 2);

    bool about = false, configure = true;
    cam->QueryCompressorDialogs(0, about, configure);
    EXPECT_TRUE(about);
    EXPECT_FALSE(configure);
    cam->QueryCompressorDialogs(1, about, configure);
    EXPECT_FALSE(about);
    EXPECT_TRUE(configure);

    cam->ShowCompressorAbout(0, Owner);
    cam->ConfigureCompressor(1, Owner);
    auto dialogs = fakewin::compressor_dialogs();
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[0].kind, "about");
    EXPECT_EQ(dialogs[0].handler, "ABOU");
    EXPECT_EQ(dialogs[0].owner, Owner);
    EXPECT_EQ(dialogs[1].kind, "configure");
    EXPECT_EQ(dialogs[1].handler, "CONF");
    EXPECT_EQ(dialogs[1].owner, Owner);

    // A compressor that can no longer be opened has no dialogs.
    cam->Compressors[0].fccHandler = mmioFOURCC('G', 'O', 'N', 'E');
    cam->QueryCompressorDialogs(0, about, configure);
    EXPECT_FALSE(about);
    EXPECT_FALSE(configure);
    cam->ShowCompressorAbout(0, Owner);
    EXPECT_EQ(fakewin::compressor_dialogs().size(), 2u);
}

TEST_F(Catalogue, RebuildStartsFromNothing) {
    std::atomic<bool> refusing{false};
    auto changing = compressor("MSVC", u"Video 1");
    changing.accepts = [&](const BITMAPINFOHEADER &) { return !refusing; };
    fakewin::install_compressor(changing);
    fakewin::install_compressor(compressor("cvid", u"Cinepak-like"));

    cam->EnumerateCompressors();
    ASSERT_EQ(cam->CompressorCount, 2);
    ICINFO first[2];
    std::memcpy(first, cam->Compressors, sizeof(first));
    cam->EnumerateCompressors();
    ASSERT_EQ(cam->CompressorCount, 2);
    EXPECT_EQ(std::memcmp(first, cam->Compressors, sizeof(first)), 0);

    refusing = true;
    cam->EnumerateCompressors();
    ASSERT_EQ(cam->CompressorCount, 1);
    EXPECT_EQ(description(0), u"Cinepak-like");
}

TEST_F(Catalogue, NoProbeFrameEmptiesTheCatalogueWithoutAskingAnyCompressor) {
    fakewin::install_compressor(compressor("MSVC", u"Video 1"));
    cam->EnumerateCompressors();
    ASSERT_EQ(cam->CompressorCount, 1);

    size_t before = log_size();
    fakewin::fail_global_allocs(1);
    cam->EnumerateCompressors();
    EXPECT_EQ(cam->CompressorCount, 0);
    EXPECT_EQ(log_size(), before);
    // The grabber has told the user why; the catalogue adds nothing.
    EXPECT_EQ(fakewin::message_boxes().size(), 1u);
}

} // namespace
