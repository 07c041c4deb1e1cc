// The file dialogs: the request handed to the picker, and on POSIX systems
// the desktop chooser's arguments (through a stand-in `zenity`).
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

namespace fs = std::filesystem;
using P = ktuFilePathUtils;

const char kFilter[] = "Bitmaps\0*.bmp;*.dib\0All files\0*.*\0";

// What the picker was asked (save|title|extension|filter index|flags|the
// buffer on entry), and the answer it gives.
struct Seen {
    int calls = 0;
    std::string request;
    const void* owner = nullptr;
    const char* filter = nullptr;
    const char* answer = nullptr;  // null: cancel
};

int recordPick(void* context, const ktuFilePickRequest* request, char* path, unsigned int size)
{
    auto* seen = static_cast<Seen*>(context);
    ++seen->calls;
    seen->request = std::to_string(request->save) + "|" + request->title + "|" + request->defaultExt + "|" +
                    std::to_string(request->filterIndex) + "|" + std::to_string(request->flags) + "|" + path;
    seen->owner = request->owner;
    seen->filter = request->filter;
    EXPECT_EQ(size, 260u);
    std::strcpy(path, seen->answer ? seen->answer : "left behind by a cancelled dialog");
    return seen->answer != nullptr;
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override { ktu::test::openGate(); }
    void TearDown() override { ktuSetFilePickerHandler(nullptr, nullptr); }
};

TEST_F(Dialogs, RequestCarriesTheFixedFieldsAndTheArguments)
{
    Seen seen;
    ktuSetFilePickerHandler(recordPick, &seen);
    int window = 0;
    char file[260] = "previous.bmp";
    seen.answer = "C:/pics/a.bmp";
    EXPECT_TRUE(P::getOpenFileName(file, kFilter, "Open clip", &window));
    EXPECT_STREQ(file, "C:/pics/a.bmp");
    EXPECT_EQ(seen.request, "0|Open clip|*|1|6145|");  // the buffer is emptied before the dialog opens
    EXPECT_TRUE(seen.owner == &window && seen.filter == kFilter);

    seen.answer = nullptr;  // cancelled: the buffer ends empty
    EXPECT_FALSE(P::getSaveFileName(file, kFilter, "Save clip", "bmp", nullptr));
    EXPECT_STREQ(file, "");
    EXPECT_EQ(seen.request, "1|Save clip|bmp|1|6145|");
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_FALSE(P::getOpenFileName(nullptr, kFilter, "t", nullptr));  // caught, no dialog
    EXPECT_EQ(seen.calls, 2);
}

#if !defined(_WIN32)

// Sets an environment variable (or removes it, for null) for the object's life.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name), had_(std::getenv(name) != nullptr)
    {
        old_ = had_ ? std::getenv(name) : "";
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    bool had_;
    std::string old_;
};

// A stand-in chooser first on PATH: records its arguments, one a line, and
// prints the text of "answer" (or fails, as a cancelled chooser does, when
// there is none).
TEST_F(Dialogs, DesktopChooserArguments)
{
    ktu::test::Sandbox sb;
    sb.writeFile("bin/zenity", "#!/bin/sh\ndir=$(dirname \"$0\")\nprintf '%s\\n' \"$@\" >> \"$dir/args\"\n"
                               "[ -f \"$dir/answer\" ] || exit 1\ncat \"$dir/answer\"\n");
    fs::permissions(sb.native("bin/zenity"), fs::perms::owner_all);
    ScopedEnv path("PATH", (sb.native("bin").string() + ":/usr/bin:/bin").c_str());
    ScopedEnv display("DISPLAY", ":99"), wayland("WAYLAND_DISPLAY", nullptr);
    auto args = [&] {
        auto lines = ktu::test::readLines(sb.native("bin/args"));
        fs::remove(sb.native("bin/args"));
        return lines;
    };
    char file[260] = "old";
    EXPECT_FALSE(P::getOpenFileName(file, kFilter, "Open clip", nullptr));  // cancelled
    EXPECT_STREQ(file, "");
    EXPECT_EQ(args(), (std::vector<std::string>{"--file-selection", "--title=Open clip",
                                                "--file-filter=Bitmaps | *.bmp *.dib", "--file-filter=All files | *"}));

    sb.writeFile("pics/a.bmp", "x");
    sb.writeFile("bin/answer", sb.native("pics/a.bmp").string() + "\n");
    EXPECT_TRUE(P::getOpenFileName(file, kFilter, "Open clip", nullptr));
    EXPECT_STREQ(file, "T:/pics/a.bmp");  // in drive form
    sb.writeFile("bin/answer", sb.native("pics/a").string());
    EXPECT_TRUE(P::getSaveFileName(file, nullptr, nullptr, "bmp", nullptr));  // the extension is added
    EXPECT_STREQ(file, "T:/pics/a.bmp");
    args();
    EXPECT_FALSE(P::getSaveFileName(file, nullptr, nullptr, "jpg", nullptr));  // must exist
    EXPECT_EQ(args(), (std::vector<std::string>{"--file-selection", "--save"}));

    std::string deep = std::string(200, 'd') + "/" + std::string(100, 'f');
    sb.writeFile(deep, "x");
    sb.writeFile("bin/answer", sb.native(deep).string());
    EXPECT_FALSE(P::getOpenFileName(file, kFilter, "t", nullptr));  // beyond 259 characters
    args();
    ScopedEnv noDisplay("DISPLAY", nullptr);
    sb.writeFile("bin/answer", sb.native("pics/a.bmp").string());
    EXPECT_FALSE(P::getOpenFileName(file, kFilter, "t", nullptr));
    EXPECT_TRUE(args().empty());  // not even started
}

#endif

}  // namespace
