// Hostile and broken inputs through packsmith-cli's logic: each row an input kind and what
// the user gets. Every row also checks that the inputs are unchanged and that nothing
// appeared outside the target directory.
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

#include "cli/CliApp.h"
#include "core/ByteOrder.h"
#include "core/FilesystemPath.h"
#include "formats/wac/WacEncoder.h"
#include "formats/was/WasEncoder.h"
#include "gui/MainFormLogic.h"
#include "jobs/FormatTable.h"
#include "platform/FileSystem.h"
#include "testing/Bytes.h"
#include "testing/ImageEncoder.h"
#include "testing/ImagePackBuilder.h"
#include "testing/PackFixtures.h"
#include "testing/ScriptedWindow.h"
#include "testing/TempDir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace packsmith::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes Patched(Bytes bytes, std::size_t at, std::uint32_t value)
{
    StoreLE32(bytes.data() + at, value);
    return bytes;
}

// Every file below dir with its content, to see what a run changed; by the paths as the
// program spells them.
std::map<std::string, std::string> Snapshot(const std::string& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& item : fs::recursive_directory_iterator(FilesystemPath(dir))) {
        const std::string path = PathText(item.path());
        files[path] = item.is_regular_file() ? ReadFileBytes(path) : "<dir>";
    }
    return files;
}

struct Row {
    const char* Name;
    std::string Input;                                 // file name under the work directory
    std::function<std::string(const TempDir&)> Make;  // writes the inputs; returns the content of Input
    int Status;                                        // expected exit status
    std::string Message;                               // expected in the error output ("" for none)
};

std::vector<Row> Rows()
{
    const Bytes wac = EncodeWacFile(std::vector<std::int16_t>(700, 1200));
    const Bytes was = EncodeWasFile(std::vector<std::int16_t>(700, -900));
    const Bytes pack = BuildImagePack(Named({"one.bmp", "two.bmp"}));
    const std::string log = "#Format: AT3\r\n#Source: ";
    return {
        {"wac truncated in its header", "a.wac", [=](auto&) { return AsString(Bytes(wac.begin(), wac.begin() + 30)); }, 1,
         "a.wac: Stream read error (the file ends inside its header)"},
        {"wac with a huge block count", "a.wac", [=](auto&) { return AsString(Patched(wac, 0, 0xFFFFFFFF)); }, 1,
         "a.wac is not a Packed WAV file: its 4294967295 blocks cannot fit"},
        {"was with a negative coded size", "a.was", [=](auto&) { return AsString(Patched(was, 52, 0x80000000u)); }, 1,
         "a.was: Stream read error (the chunk at offset 52 gives a negative size)"},
        {"was claiming gigabytes", "a.was", [=](auto&) { return AsString(Patched(was, 56, 0x7FFFFFFF)); }, 1,
         "a.was: 2147483647 decoded bytes"},
        {"pack with a huge entry count", "p.at3", [=](auto&) { return AsString(Patched(pack, 12, 0xFFFFFFFF)); }, 1,
         "p.at3: Stream read error (the entry table runs past its stated size: entries 3 to 4294967295 are missing)"},
        {"pack with entries below 251 bytes", "p.at3", [=](auto&) { return AsString(Patched(pack, 16, 250)); }, 1,
         "fewer than the 251"},
        {"pack whose record overflows 32 bits", "p.at3",
         [=](auto&) { return AsString(Patched(Patched(pack, 32 + 243, 0xFFFFFFF0u), 32 + 247, 0x20)); }, 1,
         "p.at3: Stream read error (the picture of \"one.bmp\" lies past the end of the file)"},
        {"pack with a picture above the limit", "p.at3",
         [=](auto&) {
             auto big = pack;
             StoreLE32(big.data() + LoadLE32(big.data() + 32 + 243) + 17, 2000); // 2000 x 4000
             StoreLE32(big.data() + LoadLE32(big.data() + 32 + 243) + 21, 4000);
             return AsString(big);
         },
         1, "\"one.bmp\""},
        {"pack truncated in its table", "p.at3", [=](auto&) { return AsString(Bytes(pack.begin(), pack.begin() + 100)); },
         1, "p.at3: Stream read error (the entry table runs past the end of the file: entries 1 to 2 are missing)"},
        {"log of binary garbage", "g.log",
         [](auto&) {
             std::string garbage;
             for (int i = 0; i < 5000; ++i)
                 garbage += static_cast<char>((i * 7919) % 251 + 1);
             return garbage;
         },
         3, ""},
        {"log with a zero byte and a line of 100,000 characters", "z.log",
         [](auto&) { return std::string(100000, 'x') + "\r\n#Format: AT3\r\n" + std::string(1, '\0') + "#Source: /nope"; },
         3, ""},
        {"log naming a directory as its pack", "d.log", [=](const TempDir& d) { return log + d.Path() + "\r\n"; }, 1,
         "Cannot open file "},
        {"project list that lists itself", "self.lst", [](const TempDir& d) { return d / "self.lst"; }, 3, ""},
        {"log listing one pack twice", "twice.log",
         [=](const TempDir& d) {
             const std::string packPath = d.Write("p.at3", AsString(pack));
             const std::string block = log + packPath + "\r\n/none/1.tga\r\n/none/2.tga\r\n";
             return block + block;
         },
         1, "more than once"},
#ifndef _WIN32 // devices and FIFOs as Linux has them
        {"log naming a device as its pack", "z.log", [=](auto&) { return log + "/dev/zero\r\n"; }, 1,
         "z.log: Cannot open file /dev/zero (not a regular file)"},
        {"log naming a FIFO as an edited picture", "f.log",
         [=](const TempDir& d) {
             const std::string packPath = d.Write("p.at3", AsString(pack));
             mkfifo((d / "fifo.tga").c_str(), 0600);
             return log + packPath + "\r\n" + (d / "fifo.tga") + "\r\n/none/2.tga\r\n";
         },
         1, "fifo.tga (not a regular file)"},
        {"log naming a FIFO as edited sound", "s.log",
         [=](const TempDir& d) {
             const std::string wacPath = d.Write("a.wac", AsString(wac));
             mkfifo((d / "a.wav").c_str(), 0600);
             return "#Format: WAC\r\n#Source: " + wacPath + "\r\n";
         },
         1, "a.wav (not a regular file)"},
#endif
        {"pack with a picture of width 0", "p.at3",
         [=](auto&) {
             auto empty = pack;
             StoreLE32(empty.data() + LoadLE32(empty.data() + 32 + 243) + 17, 0);
             return AsString(empty);
         },
         0, ""},
    };
}

// The same job through the window's logic: the error box shows what the command line
// printed, without its program name.
std::string ThroughTheWindow(const std::string& input, const std::string& target)
{
    ScriptedWindow window;
    MainFormLogic form(window);
    form.FormCreate();
    window.Dialogs.OpenAnswers.push_back(OpenDialogResult{FilterPosition(*FormatForFile(input)), {input}});
    form.Execute([&] { form.BAddLogClick(); });
    window.Dialogs.DirectoryAnswers.push_back(target);
    form.Execute([&] { form.BProcessClick(); });
    form.WaitForRun();
    form.ShowRunReports();
    return window.Dialogs.ErrorBoxes.empty() ? std::string() : window.Dialogs.ErrorBoxes.front();
}

TEST(BadInput, EveryRowEndsCleanlyAndHarmsNothing)
{
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.Name);
        TempDir dir;
        const std::string work = dir / "work";
        const std::string target = work + "/out";
        fs::create_directories(FilesystemPath(work));
        TempDir inputs;
        const std::string input = inputs.Write(row.Input, row.Make(inputs));
        const auto before = Snapshot(inputs.Path());
        const auto beside = Snapshot(dir.Path());

        std::ostringstream out, err;
        const int status = RunCli({"-q", "-o", target, input}, out, err);
        EXPECT_EQ(status, row.Status) << err.str();
        if (!row.Message.empty()) {
            EXPECT_NE(err.str().find(row.Message), std::string::npos) << err.str();
        }
        if (row.Status == 1) {
            EXPECT_EQ(err.str().rfind("packsmith-cli: ", 0), 0u) << err.str();
        }
        EXPECT_EQ(Snapshot(inputs.Path()), before) << "an input was changed";
        // Only the target directory may have appeared.
        auto after = Snapshot(dir.Path());
        for (auto it = after.begin(); it != after.end();)
            it = it->first == target || it->first.rfind(target + "/", 0) == 0 ? after.erase(it) : std::next(it);
        EXPECT_EQ(after, beside) << "something was written outside the target";

        const std::string shown = ThroughTheWindow(input, work + "/window");
        // The error is the last line on standard error; warnings may come before it.
        const std::string printed = err.str();
        const auto lastLine = printed.rfind("\npacksmith-cli: ", printed.size() >= 2 ? printed.size() - 2 : 0);
        const std::string error = lastLine == std::string::npos ? printed : printed.substr(lastLine + 1);
        if (row.Status != 1) // warnings are results lines, no error box
            EXPECT_EQ(shown, "");
        else
            EXPECT_EQ(ShownPaths(shown) + "\n", error.substr(std::string("packsmith-cli: ").size()));
        EXPECT_EQ(Snapshot(inputs.Path()), before) << "an input was changed through the window";

        // Listing reads the same bytes another way: it ends cleanly too, naming the file
        // when it cannot, and writes nothing.
        if (FormatForFile(input)->List != nullptr) {
            std::ostringstream listed, listErr;
            const auto everything = Snapshot(dir.Path());
            const int listStatus = RunCli({"--list", "--json", input}, listed, listErr);
            EXPECT_TRUE(listStatus == 0 || listStatus == 1 || listStatus == 3) << listStatus;
            EXPECT_EQ(listStatus == 1, listErr.str().find(ShownPaths(input)) != std::string::npos) << listErr.str();
            EXPECT_EQ(listed.str().front(), '[');
            EXPECT_EQ(Snapshot(dir.Path()), everything) << "listing wrote something";
            EXPECT_EQ(Snapshot(inputs.Path()), before) << "an input was changed by listing it";
        }
    }
}

} // namespace
} // namespace packsmith::test
