// The file dialogs: the request handed to the picker, and on POSIX systems the desktop chooser's arguments (through a
// stand-in `zenity`).
#include <cstdlib>
#include <cstring>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

namespace fs = std::filesystem;
using P = ktuFilePathUtils;
using Lines = std::vector<std::string>;

const char kFilter[] = "Bitmaps\0*.bmp;*.dib\0All files\0*.*\0";

// What the picker was asked (save|title|extension|filter index|flags|the buffer on entry) and answers (null: cancel).
struct Seen {
    int calls = 0;
    std::string request;
    const void* owner = nullptr;
    const char* filter = nullptr;
    const char* answer = nullptr;
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

TEST(Dialogs, RequestCarriesTheFixedFieldsAndTheArguments)
{
    ktu::test::openGate();
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
    ktuSetFilePickerHandler(nullptr, nullptr);
}

#if !defined(_WIN32)

// A stand-in chooser first on PATH: records its arguments, one a line, and prints the text of "answer" (or fails, as a
// cancelled chooser does, when there is none).
TEST(Dialogs, DesktopChooserArguments)
{
    ktu::test::Sandbox sb;
    ktu::test::openGate();
    sb.writeFile("bin/zenity", "#!/bin/sh\ndir=$(dirname \"$0\")\nprintf '%s\\n' \"$@\" >> \"$dir/args\"\n"
                               "[ -f \"$dir/answer\" ] || exit 1\ncat \"$dir/answer\"\n");
    fs::permissions(sb.native("bin/zenity"), fs::perms::owner_all);
    ktu::test::expectInFreshProcess([&] {  // the environment changes in a process of its own
        setenv("PATH", (sb.native("bin").string() + ":/usr/bin:/bin").c_str(), 1);
        setenv("DISPLAY", ":99", 1);
        unsetenv("WAYLAND_DISPLAY");
        auto args = [&] {
            auto lines = ktu::test::readLines(sb.native("bin/args"));
            fs::remove(sb.native("bin/args"));
            return lines;
        };
        auto answer = [&](const std::string& relative) { sb.writeFile("bin/answer", sb.native(relative).string()); };
        char file[260] = "old";
        EXPECT_FALSE(P::getOpenFileName(file, kFilter, "Open clip", nullptr));  // cancelled
        EXPECT_STREQ(file, "");
        EXPECT_EQ(args(), (Lines{"--file-selection", "--title=Open clip", "--file-filter=Bitmaps | *.bmp *.dib",
                                 "--file-filter=All files | *"}));

        sb.writeFile("pics/a.bmp", "x");
        sb.writeFile("bin/answer", sb.native("pics/a.bmp").string() + "\n");  // one line
        EXPECT_TRUE(P::getOpenFileName(file, kFilter, "Open clip", nullptr));
        EXPECT_STREQ(file, "T:/pics/a.bmp");  // in drive form
        sb.writeFile("bin/answer", "/proc/self/exe");  // outside every other drive: the root drive
        EXPECT_TRUE(P::getOpenFileName(file, kFilter, "Open clip", nullptr));
        EXPECT_STREQ(file, "C:/proc/self/exe");
        answer("pics/a");
        EXPECT_TRUE(P::getSaveFileName(file, nullptr, nullptr, "bmp", nullptr));  // the extension is added
        EXPECT_STREQ(file, "T:/pics/a.bmp");
        args();
        EXPECT_FALSE(P::getSaveFileName(file, nullptr, nullptr, "jpg", nullptr));  // must exist
        EXPECT_EQ(args(), (Lines{"--file-selection", "--save"}));

        const std::string deep = std::string(200, 'd') + "/" + std::string(100, 'f');
        sb.writeFile(deep, "x");
        answer(deep);
        EXPECT_FALSE(P::getOpenFileName(file, kFilter, "t", nullptr));  // beyond 259 characters
        args();
        unsetenv("DISPLAY");
        answer("pics/a.bmp");
        EXPECT_FALSE(P::getOpenFileName(file, kFilter, "t", nullptr));
        EXPECT_TRUE(args().empty());  // not even started
        return !::testing::Test::HasFailure();
    });
}

#endif

}  // namespace
