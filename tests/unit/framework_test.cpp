#include "fakewin/fakewin.h"
#include "fakewin/kernel.h"
#include "fakewin/window.h"
#include "framework/application.h"
#include "framework/buttons.h"
#include "framework/fields.h"
#include "framework/sysutils.h"
#include "framework/thread.h"

#include <gtest/gtest.h>
#include <thread>

TEST(StrToInt, AcceptsTheFrameworkSyntax) {
    struct Case {
        const char *text;
        int value;
    } cases[] = {{"5", 5},
                 {"  12", 12},
                 {"-7", -7},
                 {"+8", 8},
                 {"$1F", 31},
                 {"x1f", 31},
                 {"0x10", 16},
                 {"-$10", -16},
                 {"2147483647", 2147483647},
                 {"-2147483648", -2147483647 - 1},
                 {"$FFFFFFFF", -1},
                 {"0", 0},
                 {"007", 7}};
    for (auto &c : cases) {
        int v = 12345;
        EXPECT_TRUE(TryStrToInt(c.text, v)) << c.text;
        EXPECT_EQ(c.value, v) << c.text;
    }
}

TEST(StrToInt, RefusesEverythingElseWithTheFrameworkMessage) {
    for (const char *text : {"", " ", "12 ", "1a", "abc", "2147483648", "-2147483649", "$100000000",
                             "0x", "$", "--1", "\t1", "1.0", "+"}) {
        int v = 99;
        EXPECT_FALSE(TryStrToInt(text, v)) << "'" << text << "'";
        EXPECT_EQ(99, v);
    }
    try {
        StrToInt("12 ");
        FAIL() << "no error";
    } catch (const EConvertError &e) {
        EXPECT_STREQ("'12 ' n'est pas une valeur enti\xE8re correcte", e.what());
    }
}

class FrameworkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fakewin::reset();
        Application->Initialize();
        Application->Title = "Test";
        form = std::make_unique<TForm>(nullptr);
        form->SetBounds(10, 20, 300, 200);
    }
    void TearDown() override {
        form.reset();
        fakewin::on_idle(nullptr);
        Application->MainForm = nullptr;
        fakewin::reset();
    }
    std::unique_ptr<TForm> form;
};

TEST_F(FrameworkTest, TrackBarClampsAndReportsOnlyChanges) {
    auto *bar = new TTrackBar(form.get(), nullptr);
    bar->SetMax(100);
    int changes = 0;
    bar->OnChange = [&](TObject *) { ++changes; };
    bar->SetPosition(150);
    EXPECT_EQ(100, bar->Position());
    bar->SetPosition(100);
    EXPECT_EQ(1, changes);
    bar->SetPosition(-3);
    EXPECT_EQ(0, bar->Position());
    bar->SetMin(10);
    EXPECT_EQ(10, bar->Position());
    bar->SetMax(50);
    bar->SetPosition(60);
    EXPECT_EQ(50, bar->Position());
    EXPECT_EQ(4, changes);
}

TEST_F(FrameworkTest, ControlsBecomeChildWindowsAndRaiseTheirEvents) {
    auto *panel = new TPanel(form.get(), nullptr);
    panel->SetBounds(0, 0, 280, 150);
    auto *group = new TGroupBox(form.get(), panel);
    group->SetBounds(10, 10, 200, 100);
    group->SetCaption("Group");
    auto *box = new TCheckBox(form.get(), group);
    box->SetBounds(5, 20, 100, 17);
    box->SetCaption("tick");
    auto *combo = new TComboBox(form.get(), panel, TComboBoxStyle::csDropDown);
    combo->SetBounds(10, 120, 100, 21);
    combo->AddItem("one");
    combo->AddItem("two");
    combo->SetText("free");
    auto *r1 = new TRadioButton(form.get(), panel);
    auto *r2 = new TRadioButton(form.get(), panel);
    r2->SetChecked(true);
    auto *off = new TButton(form.get(), panel);
    off->SetEnabled(false);

    int clicks = 0, selects = 0;
    box->OnClick = [&](TObject *) { ++clicks; };
    combo->OnClick = [&](TObject *) { ++clicks; };
    combo->OnSelect = [&](TObject *) { ++selects; };
    off->OnClick = [&](TObject *) { ++clicks; };

    form->Handle();
    fakewin::WindowInfo info;
    ASSERT_TRUE(fakewin::window_info(box->Handle(), info));
    EXPECT_EQ("BUTTON", info.cls);
    EXPECT_EQ("tick", info.text);
    // Inside the group box's frame, in the panel's window.
    EXPECT_EQ(panel->Handle(), info.parent);
    EXPECT_EQ(15, info.rect.left);
    EXPECT_EQ(30, info.rect.top);
    ASSERT_TRUE(fakewin::window_info(combo->Handle(), info));
    EXPECT_EQ("free", info.text);
    ASSERT_TRUE(fakewin::window_info(off->Handle(), info));
    EXPECT_FALSE(info.enabled);

    box->Click();
    EXPECT_TRUE(box->Checked());
    combo->SetText("typed");
    EXPECT_EQ("typed", combo->Text());
    EXPECT_EQ(1, clicks);
    combo->Select(1);
    EXPECT_EQ(1, combo->ItemIndex());
    EXPECT_EQ("two", combo->Text());
    EXPECT_EQ(2, clicks);
    EXPECT_EQ(1, selects);
    r1->Click();
    EXPECT_TRUE(r1->Checked());
    EXPECT_FALSE(r2->Checked());
    off->Click();
    EXPECT_EQ(2, clicks);
    // A click the system reports for a realised button reaches the same handler.
    SendMessageA(panel->Handle(), WM_COMMAND, MAKELONG(0, BN_CLICKED), (LPARAM)off->Handle());
    off->SetEnabled(true);
    SendMessageA(panel->Handle(), WM_COMMAND, MAKELONG(0, BN_CLICKED), (LPARAM)off->Handle());
    EXPECT_EQ(3, clicks);

    // Once a button is lit by the mouse's hover, its leaving is watched at the system's hover
    // pace; the system's button still gets every message.
    EXPECT_EQ(1, SendMessageA(off->Handle(), WM_ERASEBKGND, 0, 0));
    SendMessageA(off->Handle(), WM_MOUSEMOVE, 0, 0);
    EXPECT_TRUE(fakewin::mouse_tracking().empty());
    SendMessageA(off->Handle(), WM_MOUSEHOVER, 0, 0);
    std::vector<TRACKMOUSEEVENT> tracking = fakewin::mouse_tracking();
    ASSERT_EQ(1u, tracking.size());
    EXPECT_EQ((DWORD)TME_LEAVE, tracking[0].dwFlags);
    EXPECT_EQ(off->Handle(), tracking[0].hwndTrack);
    EXPECT_EQ(HOVER_DEFAULT, tracking[0].dwHoverTime);
}

TEST_F(FrameworkTest, AlignedPanelsFillTheClientArea) {
    auto *top = new TPanel(form.get(), nullptr);
    top->SetBounds(0, 0, 10, 40);
    top->Align = TAlign::alTop;
    auto *rest = new TPanel(form.get(), nullptr);
    rest->Align = TAlign::alClient;
    int resized = 0;
    rest->OnResize = [&](TObject *) { ++resized; };
    form->Handle();
    int cw = form->ClientWidth(), ch = form->ClientHeight();
    EXPECT_EQ(cw, top->Width());
    EXPECT_EQ(40, top->Height());
    EXPECT_EQ(40, rest->Top());
    EXPECT_EQ(ch - 40, rest->Height());
    form->SetBounds(10, 20, 400, 300);
    EXPECT_EQ(form->ClientWidth(), rest->Width());
    EXPECT_EQ(form->ClientHeight() - 40, rest->Height());
    EXPECT_EQ(2, resized);
}

TEST_F(FrameworkTest, ModalLoopEndsWithButtonEscOrCloseBoxAndFreesTheOwner) {
    TForm main(nullptr);
    Application->MainForm = &main;
    main.Show();
    auto *ok = new TButton(form.get(), nullptr);
    ok->ModalResult = mrOk;
    ok->Default = true;

    fakewin::on_idle([&] {
        fakewin::on_idle(nullptr);
        EXPECT_FALSE(IsWindowEnabled(main.Handle()));
        EXPECT_TRUE(IsWindowVisible(form->Handle()));
        ok->Click();
        return true;
    });
    EXPECT_EQ(mrOk, form->ShowModal());
    EXPECT_TRUE(IsWindowEnabled(main.Handle()));
    EXPECT_FALSE(IsWindowVisible(form->Handle()));

    // Enter as the dialog keys send it clicks the default button; Esc cancels, also when the
    // Cancel button is disabled.
    auto *cancel = new TButton(form.get(), nullptr);
    cancel->Cancel = true;
    cancel->ModalResult = mrCancel;
    cancel->SetEnabled(false);
    int idle = 0;
    fakewin::on_idle([&] {
        if (++idle == 1)
            PostMessageA(form->Handle(), WM_COMMAND, IDCANCEL, 0);
        else
            form->ModalResult = mrOk; // Esc did nothing
        return true;
    });
    EXPECT_EQ(mrCancel, form->ShowModal());
    fakewin::on_idle([&] {
        fakewin::on_idle(nullptr);
        PostMessageA(form->Handle(), WM_COMMAND, IDOK, 0);
        return true;
    });
    EXPECT_EQ(mrOk, form->ShowModal());
    fakewin::on_idle([&] {
        fakewin::on_idle(nullptr);
        PostMessageA(form->Handle(), WM_CLOSE, 0, 0);
        return true;
    });
    EXPECT_EQ(mrCancel, form->ShowModal());
    EXPECT_TRUE(IsWindow(form->Handle()));
    form.reset();
    Application->MainForm = nullptr;
}

TEST_F(FrameworkTest, HandlerErrorsGoToTheDefaultHandler) {
    auto *button = new TButton(form.get(), nullptr);
    button->OnClick = [](TObject *) { throw Exception("Broken"); };
    auto *other = new TButton(form.get(), nullptr);
    other->OnClick = [](TObject *) { throw Exception("Already stopped."); };
    form->Handle();
    // As the system reports the clicks: through the form's window procedure.
    for (TButton *b : {button, other})
        SendMessageA(form->Handle(), WM_COMMAND, MAKELONG(0, BN_CLICKED), (LPARAM)b->Handle());
    auto boxes = fakewin::message_boxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("Broken.", boxes[0].text);
    EXPECT_EQ("Already stopped.", boxes[1].text);
    EXPECT_EQ("Test", boxes[0].caption);
    EXPECT_EQ((UINT)(MB_OK | MB_ICONERROR), boxes[0].type);
}

TEST_F(FrameworkTest, WorkerCallsRunWhenTheMainLoopIsWoken) {
    bool ran = false;
    std::thread worker([&] {
        struct Caller : TThread {
            void Execute() override {}
        } caller;
        caller.Synchronize([&] { ran = IsMainThread(); });
    });
    // The worker's call arrives as a posted wake message; pumping the queue runs it.
    while (!ran) {
        fakewin::wait_for_message(1000);
        Application->ProcessMessages();
    }
    worker.join();
    EXPECT_TRUE(ran);
}

TEST_F(FrameworkTest, MainFormCloseEndsTheLoop) {
    TForm main(nullptr);
    Application->MainForm = &main;
    int closes = 0;
    main.OnClose = [&](TObject *) { ++closes; };
    fakewin::on_idle([&] {
        fakewin::on_idle(nullptr);
        PostMessageA(main.Handle(), WM_CLOSE, 0, 0);
        return true;
    });
    Application->Run();
    EXPECT_EQ(1, closes);
    EXPECT_TRUE(Application->Terminated());
    Application->MainForm = nullptr;
}
