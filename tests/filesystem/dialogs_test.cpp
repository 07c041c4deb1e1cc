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

struct Seen {
    int calls = 0;
    ktuFilePickRequest request{};
    std::string title, defaultExt, bufferOnEntry;
    const char* answer = nullptr;  // null: cancel
};

int recordPick(void* context, const ktuFilePickRequest* request, char* path, unsigned int size)
{
    auto* seen = static_cast<Seen*>(context);
    ++seen->calls;
    seen->request = *request;
    seen->title = request->title ? request->title : "(null)";
    seen->defaultExt = request->defaultExt ? request->defaultExt : "(null)";
    seen->bufferOnEntry = path;
    EXPECT_EQ(size, 260u);
    if (seen->answer == nullptr) {
        std::strcpy(path, "left behind by a cancelled dialog");
        return 0;
    }
    std::strcpy(path, seen->answer);
    return 1;
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
    EXPECT_EQ(seen.bufferOnEntry, "");
    EXPECT_EQ(seen.request.save, 0);
    EXPECT_EQ(seen.request.owner, &window);
    EXPECT_EQ(seen.request.filter, kFilter);
    EXPECT_EQ(seen.request.filterIndex, 1u);
    EXPECT_EQ(seen.request.flags, 6145u);
    EXPECT_EQ(seen.title, "Open clip");
    EXPECT_EQ(seen.defaultExt, "*");

    seen.answer = nullptr;  // cancelled: the buffer ends empty
    EXPECT_FALSE(P::getSaveFileName(file, kFilter, "Save clip", "bmp", nullptr));
    EXPECT_STREQ(file, "");
    EXPECT_EQ(seen.request.save, 1);
    EXPECT_EQ(seen.request.owner, nullptr);
    EXPECT_EQ(seen.request.flags, 6145u);
    EXPECT_EQ(seen.defaultExt, "bmp");
    EXPECT_EQ(seen.calls, 2);

    EXPECT_FALSE(P::getOpenFileName(nullptr, kFilter, "t", nullptr));  // caught, logged
    EXPECT_EQ(seen.calls, 2);
}

TEST(DialogsBeforeHandshake, NothingIsShownAndTheBufferIsKept)
{
    EXPECT_EXIT(
        {
            Seen seen;
            seen.answer = "C:/x.bmp";
            ktuSetFilePickerHandler(recordPick, &seen);
            char file[260] = "kept";
            bool any = P::getOpenFileName(file, kFilter, "t", nullptr) ||
                       P::getSaveFileName(file, kFilter, "t", "bmp", nullptr);
            std::exit(!any && seen.calls == 0 && std::strcmp(file, "kept") == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

#if !defined(_WIN32)

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        old_ = had_ ? old : "";
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    bool had_;
    std::string old_;
};

// A stand-in chooser on PATH that records its arguments, one a line, and
// prints the path held in "answer" (or fails when there is none).
class Chooser : public Dialogs {
protected:
    void SetUp() override
    {
        Dialogs::SetUp();
        sb.makeFolder("bin");
        sb.writeFile("bin/zenity",
                     "#!/bin/sh\n"
                     "dir=$(dirname \"$0\")\n"
                     "printf '%s\\n' \"$@\" >> \"$dir/args\"\n"
                     "[ -f \"$dir/answer\" ] || exit 1\n"
                     "cat \"$dir/answer\"\n");
        fs::permissions(sb.native("bin/zenity"), fs::perms::owner_all);
        path_ = std::make_unique<ScopedEnv>("PATH", (sb.native("bin").string() + ":/usr/bin:/bin").c_str());
        display_ = std::make_unique<ScopedEnv>("DISPLAY", ":99");
        wayland_ = std::make_unique<ScopedEnv>("WAYLAND_DISPLAY", nullptr);
    }
    void answer(const std::string& text) { sb.writeFile("bin/answer", text); }
    std::vector<std::string> args()
    {
        auto lines = ktu::test::readLines(sb.native("bin/args"));
        fs::remove(sb.native("bin/args"));
        return lines;
    }

    ktu::test::Sandbox sb;
    std::unique_ptr<ScopedEnv> path_, display_, wayland_;
};

TEST_F(Chooser, OpenDialogArguments)
{
    sb.writeFile("pics/a.bmp", "x");
    answer(sb.native("pics/a.bmp").string() + "\n");
    char file[260] = "old";
    EXPECT_TRUE(P::getOpenFileName(file, kFilter, "Open clip", nullptr));
    EXPECT_STREQ(file, "T:/pics/a.bmp");  // in drive form
    EXPECT_EQ(args(), (std::vector<std::string>{"--file-selection", "--title=Open clip",
                                                "--file-filter=Bitmaps | *.bmp *.dib",
                                                "--file-filter=All files | *"}));
    // A choice that is not an existing file does not count.
    answer(sb.native("pics/none.bmp").string());
    EXPECT_FALSE(P::getOpenFileName(file, kFilter, "Open clip", nullptr));
    EXPECT_STREQ(file, "");
}

TEST_F(Chooser, SaveDialogAddsTheDefaultExtension)
{
    sb.writeFile("pics/b.bmp", "x");
    answer(sb.native("pics/b").string());
    char file[260];
    EXPECT_TRUE(P::getSaveFileName(file, nullptr, nullptr, "bmp", nullptr));
    EXPECT_STREQ(file, "T:/pics/b.bmp");
    EXPECT_EQ(args(), (std::vector<std::string>{"--file-selection", "--save"}));
}

TEST_F(Chooser, CancelNoDisplayAndOverLongPaths)
{
    char file[260] = "old";
    EXPECT_FALSE(P::getOpenFileName(file, kFilter, "t", nullptr));  // the chooser fails: cancelled
    EXPECT_STREQ(file, "");
    EXPECT_EQ(args().size(), 4u);

    std::string deep = std::string(200, 'd') + "/" + std::string(100, 'f');
    sb.writeFile(deep, "x");
    answer(sb.native(deep).string());
    EXPECT_FALSE(P::getOpenFileName(file, kFilter, "t", nullptr));  // beyond 259 characters
    EXPECT_EQ(args().size(), 4u);

    ScopedEnv noDisplay("DISPLAY", nullptr);
    answer(sb.native("pics").string());
    EXPECT_FALSE(P::getOpenFileName(file, kFilter, "t", nullptr));
    EXPECT_TRUE(args().empty());  // not even started
}

#endif

}  // namespace
