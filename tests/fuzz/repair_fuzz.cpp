// The start-up repair on any pair of files, for libFuzzer. An input is the journal's length
// (four bytes), the journal, then the AVI. The sums of the journal's records are put right, so
// that a changed byte reaches the repair rather than the sum check; the pair is written through
// the file calls of the test double and listed, and the start-up repair runs on it. A rebuilt
// file much larger than the input is a fault, as is a hang, a large allocation or a sanitizer's
// report (the fuzzer's own options bound those).
#include "avifile/journalfile.h"
#include "avifile/riff.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Folder;

void PutRightSums(std::vector<uint8_t> &J) {
    for (size_t at = 0; J.size() - at >= 12;) {
        uint64_t bytes;
        if (std::memcmp(&J[at], "QJNL", 4) == 0)
            bytes = 12 + (uint64_t)Get32(&J[at + 8]) + 4;
        else if (std::memcmp(&J[at], "QJFB", 4) == 0)
            bytes = 8 + (uint64_t)Get32(&J[at + 4]) * 20 + 4;
        else
            return;
        if (bytes > J.size() - at) return;
        uint32_t sum = JournalSum(&J[at], (size_t)bytes - 4);
        for (int i = 0; i < 4; ++i)
            J[at + (size_t)bytes - 4 + i] = (uint8_t)(sum >> (8 * i));
        at += (size_t)bytes;
    }
}

void Save(const std::string &Name, const uint8_t *Data, size_t Size) {
    FILE *f = std::fopen(Name.c_str(), "wb");
    if (!f) std::abort();
    if (Size) std::fwrite(Data, 1, Size, f);
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quillet-fuzz.XXXXXX";
    if (!mkdtemp(&pattern[0])) std::abort();
    Folder = pattern;
    SetOpenJournalFolder(Folder + "/open journals");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
    if (Size < 4) return 0;
    size_t length = std::min<size_t>(Get32(Data), Size - 4);
    std::vector<uint8_t> journal(Data + 4, Data + 4 + length);
    PutRightSums(journal);
    std::string avi = Folder + "/take.avi", name = JournalNameFor(avi);
    Save(name, journal.data(), journal.size());
    Save(avi, Data + 4 + length, Size - 4 - length);
    ListOpenJournal(name);
    RepairNotice(RepairOpenJournals());
    struct stat after;
    if (stat(avi.c_str(), &after) == 0 && (size_t)after.st_size > 2 * Size + (2 << 20))
        std::abort();
    for (const std::string &left : {avi, name, name + SetAsideSuffix, avi + ".repairing"})
        std::remove(left.c_str());
    UnlistOpenJournal(name);
    return 0;
}
