// Every test runs in a folder of its own in the temporary folder, which also holds the entries
// of the journals it leaves open: what a test records with a relative name, and the journal
// beside it, land there, and a killed or hung run leaves nothing in the working folder or in
// the user's own list of open journals. It is the test's application data folder as well.
#include "avifile/journalfile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

class OwnFolder : public testing::EmptyTestEventListener {
    std::string Home, Folder;
    void OnTestStart(const testing::TestInfo &) override {
        char here[4096];
        Home = getcwd(here, sizeof here) ? here : ".";
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quillet-test.XXXXXX";
        Folder = mkdtemp(&pattern[0]) ? pattern : Home;
        if (chdir(Folder.c_str()) != 0) Folder = Home;
        SetOpenJournalFolder(Folder + "/open journals");
        // The kept settings too: a test never reads or writes the user's own.
        setenv("APPDATA", Folder.c_str(), 1);
    }
    void OnTestEnd(const testing::TestInfo &) override {
        SetOpenJournalFolder("");
        if (chdir(Home.c_str()) != 0 || Folder == Home) return;
        std::string remove = "rm -rf '" + Folder + "'";
        EXPECT_EQ(std::system(remove.c_str()), 0);
    }
};

const bool Registered = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new OwnFolder);
    return true;
}();

} // namespace
