// The built program under bad input and faults. Every case starts from the field files of an
// "earlier run" (sentinels) and checks the promise: the run completes, or it stops with one
// line on standard error and exit status 1, prints no console line of a run that did not
// happen, and leaves every field file either as it was or complete.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <grp.h>
#include <langinfo.h>
#include <locale.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "support/program_run.hpp"

namespace {

namespace fs = std::filesystem;
using plattor::testing::ProgramRun;
using plattor::testing::RunOptions;
using plattor::testing::runProgram;
using plattor::testing::ScratchDir;
using plattor::testing::splitLines;

const std::string executable = PLATTOR_EXECUTABLE;
const fs::path readmePath = PLATTOR_README;

const std::vector<std::string> fieldFiles{"hfield3.dat", "exfield3.dat", "eyfield3.dat"};  // in writing order

std::string sentinel(const std::string& name) { return "earlier run: " + name + "\n0 1 2\n"; }

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file's contents as a snapshot holds them: short ones as they are, long ones by size and hash.
std::string digest(const std::string& text) {
    if (text.size() <= 200) return text;
    std::ostringstream d;
    d << "<" << text.size() << " bytes, hash " << std::hex << std::hash<std::string>{}(text) << ">";
    return d.str();
}

// The directory's entries with their contents ("<dir>" for a directory, the target of a
// symbolic link, "<special>" for a pipe or device), to compare before and after a run.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename();
        if (entry.is_symlink()) entries[name] = "<link to " + fs::read_symlink(entry.path()).string() + ">";
        else if (entry.is_directory()) entries[name] = "<dir>";
        else if (!entry.is_regular_file()) entries[name] = "<special>";
        else entries[name] = digest(slurp(entry.path()));
    }
    return entries;
}

void writeSentinels(const fs::path& dir) {
    for (const auto& name : fieldFiles) std::ofstream(dir / name, std::ios::binary) << sentinel(name);
}

// What the three field files are after a run: "earlier" (the sentinel, byte for byte), "new"
// (byte for byte the files of an undisturbed run of the same input), or "torn".
std::vector<std::string> fieldFileStates(const fs::path& dir, const std::map<std::string, std::string>& complete) {
    std::vector<std::string> states;
    for (const auto& name : fieldFiles) {
        const std::string text = slurp(dir / name);
        states.push_back(text == sentinel(name)        ? "earlier"
                         : text == complete.at(name) ? "new"
                                                     : "torn (" + std::to_string(text.size()) + " bytes)");
    }
    return states;
}

// The field files of an undisturbed run of `input`, and how long it took.
struct CompleteRun {
    std::map<std::string, std::string> files;
    std::chrono::microseconds duration{};
};

CompleteRun completeRun(const std::string& input) {
    ScratchDir dir;
    dir.write("indata3.txt", input);
    const auto start = std::chrono::steady_clock::now();
    const ProgramRun run = runProgram(executable, dir.path());
    CompleteRun result;
    result.duration = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    for (const auto& name : fieldFiles) result.files[name] = dir.read(name);
    return result;
}

const std::string tallInput = "0.01 1 3 1\n";  // 5 000 rows: 2.6 MB per field file

std::optional<std::string> findOnPath(const std::string& program);


// ---------------------------------------------------------------------------------------------
// Input faults: stopped before the first console line, nothing changed.

enum class InputSetup { File, Missing, Directory, Pipe, Device };

struct InputFault {
    const char* name;
    InputSetup setup;
    std::string contents;
    std::string message;  // after "plattor: "
};

void PrintTo(const InputFault& fault, std::ostream* os) { *os << fault.name; }

const std::string oneMiBOfBlanks(1 << 20, ' ');

const std::vector<InputFault> inputFaults{
    {"NoFile", InputSetup::Missing, "", "indata3.txt: cannot open: No such file or directory"},
    {"Directory", InputSetup::Directory, "", "indata3.txt: cannot read: Is a directory"},
    {"PipeWithoutWriter", InputSetup::Pipe, "", "indata3.txt: cannot read: not a regular file"},
    {"EndlessDevice", InputSetup::Device, "", "indata3.txt: cannot read: not a regular file"},
    {"Empty", InputSetup::File, "", "indata3.txt: expected 4 numbers, found 0 (end of file)"},
    {"OnlyWhiteSpace", InputSetup::File, " \n\t\r\n", "indata3.txt: expected 4 numbers, found 0 (end of file)"},
    {"ThreeNumbers", InputSetup::File, "10 1 3\n", "indata3.txt: expected 4 numbers, found 3 (end of file)"},
    {"TextBeforeTheFourth", InputSetup::File, "10 1 3 abc 1\n",
     "indata3.txt: expected 4 numbers, found 3 (stopped at \"abc\")"},
    {"TextInTheMiddle", InputSetup::File, "10 1 abc 1",
     "indata3.txt: expected 4 numbers, found 2 (stopped at \"abc\")"},
    {"DecimalComma", InputSetup::File, "10 1,5 3 1", "indata3.txt: expected 4 numbers, found 1 (stopped at \"1,5\")"},
    {"Hexadecimal", InputSetup::File, "0x10 1 3 1", "indata3.txt: expected 4 numbers, found 0 (stopped at \"0x10\")"},
    {"BinaryGarbage", InputSetup::File, std::string("\x7f" "ELF\x02\x01\x01\0\0\xff 10 1 3 1", 19),
     "indata3.txt: expected 4 numbers, found 0 (stopped at \"\\x7fELF\\x02\\x01\\x01\\x00\\x00\\xff\")"},
    {"Utf16Text", InputSetup::File, std::string("\xff\xfe" "1\0" "0\0" " \0", 8),
     "indata3.txt: expected 4 numbers, found 0 (stopped at \"\\xff\\xfe1\\x000\\x00\")"},
    {"ByteOrderMark", InputSetup::File, "\xef\xbb\xbf" "10 1 3 1",
     "indata3.txt: expected 4 numbers, found 0 (stopped at \"\\xef\\xbb\\xbf10\")"},
    {"NumbersAfterTheFirstMiB", InputSetup::File, oneMiBOfBlanks + "10 1 3 1",
     "indata3.txt: expected 4 numbers, found 0 (end of the first MiB)"},
    {"NaN", InputSetup::File, "nan 1 3 1", "indata3.txt: expected 4 numbers, found 0 (stopped at \"nan\")"},
    {"Inf", InputSetup::File, "10 inf 3 1", "indata3.txt: expected 4 numbers, found 1 (stopped at \"inf\")"},
    {"MinusInfinity", InputSetup::File, "10 1 -infinity 1",
     "indata3.txt: expected 4 numbers, found 2 (stopped at \"-infinity\")"},
    {"Overflow", InputSetup::File, "10 1 3 1e999", "indata3.txt: number 4 (1e999) is outside the range of a double"},
    {"Underflow", InputSetup::File, "1e-400 1 3 1", "indata3.txt: number 1 (1e-400) is outside the range of a double"},
    {"Subnormal", InputSetup::File, "10 1 3 1e-310", "indata3.txt: number 4 (1e-310) is outside the range of a double"},
    {"HugeLength", InputSetup::File, "10 1 3 1e200",
     "indata3.txt: height must be 0 or between 1e-150 and 1e150 in magnitude, got 1e+200"},
    {"TinyLength", InputSetup::File, "10 1e-160 3 1",
     "indata3.txt: strip width must be between 1e-150 and 1e150, got 1e-160"},
    {"TinyStripWidthNoPlane", InputSetup::File, "0 1e-151 1 0",
     "indata3.txt: strip width must be between 1e-150 and 1e150, got 1e-151"},
    {"TinyNegativeStripWidth", InputSetup::File, "10 -1e-151 3 1",
     "indata3.txt: strip width must be between 1e-150 and 1e150, got -1e-151"},
    {"TinyPlaneWidth", InputSetup::File, "1e-151 1 3 1",
     "indata3.txt: ground-plane width must be 0 or between 1e-150 and 1e150, got 1e-151"},
    {"TinyCentreDistance", InputSetup::File, "10 1 -1e-151 1",
     "indata3.txt: centre distance must be between 1e-150 and 1e150 in magnitude, got -1e-151"},
    {"ZeroStripWidth", InputSetup::File, "10 0 3 1", "indata3.txt: strip width must be positive, got 0"},
    {"ZeroStripWidthNoPlane", InputSetup::File, "0 0 3 1", "indata3.txt: strip width must be positive, got 0"},
    {"NegativeStripWidth", InputSetup::File, "10 -1 3 1", "indata3.txt: strip width must be positive, got -1"},
    {"NegativePlaneWidth", InputSetup::File, "-2 1 3 1",
     "indata3.txt: ground-plane width must not be negative, got -2"},
    {"OverlappingStrips", InputSetup::File, "10 1 0.5 1",
     "indata3.txt: the strips overlap: centre distance 0.5 is less than the strip width 1"},
    {"OverlappingStripsNoPlane", InputSetup::File, "0 2 -1.5 1",
     "indata3.txt: the strips overlap: centre distance -1.5 is less than the strip width 2"},
    {"StripOverlapsThePlaneAtHeight0", InputSetup::File, "10 1 3 0",
     "indata3.txt: at height 0 the strip from -2 to -1 overlaps the ground plane from -5 to 5"},
    {"StripOverlapsThePlaneEdgeAtHeight0", InputSetup::File, "2 1 2.5 0",
     "indata3.txt: at height 0 the strip from -1.75 to -0.75 overlaps the ground plane from -1 to 1"},
    {"ZeroWidthGrid", InputSetup::File, "0 1 -1 1", "indata3.txt: the field grid has zero width in x"},
    {"ExcessiveGrid", InputSetup::File, "0.001 1 3 10",
     "indata3.txt: the field grid would need 500000 rows, more than the limit of 100000"},
    {"GridOfAHugeHeight", InputSetup::File, "10 1 3 1e150",
     "indata3.txt: the field grid would need 5e+150 rows, more than the limit of 100000"},
    {"NumberCutByTheFirstMiB", InputSetup::File, std::string((1 << 20) - 9, ' ') + "10 1 3 1234",
     "indata3.txt: expected 4 numbers, found 3 (end of the first MiB)"},
    {"ExponentCutByTheFirstMiB", InputSetup::File, std::string((1 << 20) - 9, ' ') + "10 1 3 12e-5",
     "indata3.txt: expected 4 numbers, found 3 (end of the first MiB)"},
    {"HalfAMillionDigits", InputSetup::File, "1" + std::string(500000, '0') + " 1 3 1",
     "indata3.txt: number 1 (1" + std::string(39, '0') + "...) is outside the range of a double"},
};

class InputFaults : public ::testing::TestWithParam<InputFault> {};

TEST_P(InputFaults, StopBeforeTheFirstConsoleLineAndChangeNothing) {
    const InputFault& fault = GetParam();
    ScratchDir dir;
    writeSentinels(dir.path());
    if (fault.setup == InputSetup::File) dir.write("indata3.txt", fault.contents);
    if (fault.setup == InputSetup::Directory) fs::create_directory(dir.path() / "indata3.txt");
    if (fault.setup == InputSetup::Pipe) {
        ASSERT_EQ(::mkfifo((dir.path() / "indata3.txt").c_str(), 0644), 0);
    }
    if (fault.setup == InputSetup::Device) fs::create_symlink("/dev/zero", dir.path() / "indata3.txt");
    const auto before = snapshot(dir.path());

    const ProgramRun run = runProgram(executable, dir.path());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "plattor: " + fault.message + "\n");
    EXPECT_EQ(snapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Table, InputFaults, ::testing::ValuesIn(inputFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Output faults: the run stops with the file named; earlier files stay whole, no temporary is left.

// A small tmpfs on a directory for one test, in a mount namespace of the test's own where the
// system allows one, so that nothing stays mounted even if the test dies. `reason` says why
// there is none.
class TmpfsMount {
public:
    TmpfsMount(const fs::path& at, std::size_t bytes) : at_(at) {
        static const bool privateNamespace =
            ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        (void)privateNamespace;
        const std::string size = "size=" + std::to_string(bytes);
        if (::mount("tmpfs", at.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, size.c_str()) == 0)
            mounted_ = true;
        else
            reason_ = std::string("cannot mount a tmpfs here (") + std::strerror(errno) + ")";
    }
    ~TmpfsMount() {
        if (mounted_ && ::umount2(at_.c_str(), 0) != 0) ::umount2(at_.c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool mounted() const { return mounted_; }
    const std::string& reason() const { return reason_; }
    bool makeReadOnly() {
        return ::mount(nullptr, at_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
    }

private:
    fs::path at_;
    bool mounted_ = false;
    std::string reason_;
};

// Fills the file system holding `dir` with one file until no byte more fits.
void fillUp(const fs::path& dir) {
    const int fd = ::open((dir / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    std::size_t chunk = block.size();
    while (chunk > 0) {
        if (::write(fd, block.data(), chunk) < 0) chunk /= 2;
    }
    ::close(fd);
}

enum class Disk { Ordinary, Full, FillsDuringTheRun, ReadOnly };

struct OutputFault {
    const char* name;
    std::string input;
    Disk disk;
    std::string directoryInPlaceOf;   // a field file that is a directory
    std::uint64_t fileSizeLimit;      // bytes; 0: none
    std::string message;              // after "plattor: "
    std::size_t filesReplaced;        // field files complete and new before the failure
    bool everySlotTaken = false;      // a directory under the last temporary name of every slot
};

void PrintTo(const OutputFault& fault, std::ostream* os) { *os << fault.name; }

const std::vector<OutputFault> outputFaults{
    {"DirectoryInPlaceOfTheFirstFile", "10 1 3 1", Disk::Ordinary, "hfield3.dat", 0,
     "hfield3.dat: cannot write: Is a directory", 0},
    {"DirectoryInPlaceOfTheSecondFile", "10 1 3 1", Disk::Ordinary, "exfield3.dat", 0,
     "exfield3.dat: cannot write: Is a directory", 1},
    {"DirectoryInPlaceOfTheLastFile", "0 1 3 2", Disk::Ordinary, "eyfield3.dat", 0,
     "eyfield3.dat: cannot write: Is a directory", 2},
    // A run that would warn about its accuracy fails with the one line of its failure alone.
    {"DirectoryInPlaceOfAFileAfterAWarning", "1000 1 3 0.5", Disk::Ordinary, "exfield3.dat", 0,
     "exfield3.dat: cannot write: Is a directory", 1},
    {"EveryTemporaryNameTaken", "10 1 3 1", Disk::Ordinary, "", 0,
     "hfield3.dat: cannot write: its temporaries' names hfield3.dat.0.tmp to hfield3.dat.15.tmp are all taken", 0,
     true},
    {"FileSizeLimitAfterAWarning", "0 1 1e13 0", Disk::Ordinary, "", 1000, "hfield3.dat: cannot write: File too large",
     0},
    {"DiskFullFromTheStart", "10 1 3 1", Disk::Full, "", 0, "hfield3.dat: cannot write: No space left on device", 0},
    {"DiskFillsUpDuringTheRun", tallInput, Disk::FillsDuringTheRun, "", 0,
     "exfield3.dat: cannot write: No space left on device", 0},
    {"ReadOnlyDirectory", "10 1 3 1", Disk::ReadOnly, "", 0, "hfield3.dat: cannot write: Read-only file system", 0},
    {"FileSizeLimit", tallInput, Disk::Ordinary, "", 1 << 20, "hfield3.dat: cannot write: File too large", 0},
    {"FileSizeLimitBelowTheSmallestFile", "10 1 3 1", Disk::Ordinary, "", 1000,
     "hfield3.dat: cannot write: File too large", 0},
};

class OutputFaults : public ::testing::TestWithParam<OutputFault> {};

TEST_P(OutputFaults, NameTheFileAndLeaveEveryFieldFileWhole) {
    const OutputFault& fault = GetParam();
    const CompleteRun complete = completeRun(fault.input);

    ScratchDir scratch;
    const fs::path dir = scratch.path() / "run";
    fs::create_directory(dir);
    std::optional<TmpfsMount> tmpfs;
    if (fault.disk != Disk::Ordinary) {
        tmpfs.emplace(dir, fault.disk == Disk::FillsDuringTheRun ? 4u << 20 : 1u << 20);
        if (!tmpfs->mounted()) GTEST_SKIP() << "SKIPPED: " << tmpfs->reason();
    }
    std::ofstream(dir / "indata3.txt") << fault.input;
    writeSentinels(dir);
    for (int k = 0; fault.everySlotTaken && k < 16; ++k)
        fs::create_directory(dir / ("eyfield3.dat." + std::to_string(k) + ".tmp"));
    if (!fault.directoryInPlaceOf.empty()) {
        fs::remove(dir / fault.directoryInPlaceOf);
        fs::create_directory(dir / fault.directoryInPlaceOf);
        std::ofstream(dir / fault.directoryInPlaceOf / "inside") << "kept\n";
    }
    if (fault.disk == Disk::Full) fillUp(dir);
    if (fault.disk == Disk::ReadOnly) {
        ASSERT_TRUE(tmpfs->makeReadOnly()) << std::strerror(errno);
    }
    auto expectedAfter = snapshot(dir);

    RunOptions options;
    if (fault.fileSizeLimit > 0) options.fileSizeLimit = fault.fileSizeLimit;
    const ProgramRun run = runProgram(executable, dir, options);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(splitLines(run.out).size(), 14u) << "the run started, so its console lines stand";
    EXPECT_EQ(run.err, "plattor: " + fault.message + "\n");

    // No file is replaced unless all three were written; a replacement that fails leaves the
    // files before it new and complete, the rest as they were. No temporary file is left.
    for (std::size_t k = 0; k < fault.filesReplaced; ++k)
        expectedAfter[fieldFiles[k]] = digest(complete.files.at(fieldFiles[k]));
    EXPECT_EQ(snapshot(dir), expectedAfter);
}

INSTANTIATE_TEST_SUITE_P(Table, OutputFaults, ::testing::ValuesIn(outputFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// Standard output that cannot take the console lines fails the run before any field file is
// replaced.
struct ConsoleFault {
    const char* name;
    std::string standardOutput;
    bool closed;
    bool brokenPipe;
    std::string message;
};

void PrintTo(const ConsoleFault& fault, std::ostream* os) { *os << fault.name; }

const std::vector<ConsoleFault> consoleFaults{
    {"DevFull", "/dev/full", false, false, "standard output: cannot write: No space left on device"},
    {"Closed", "", true, false, "standard output: cannot write: Bad file descriptor"},
    {"ReaderGone", "", false, true, "standard output: cannot write: Broken pipe"},
};

class ConsoleFaults : public ::testing::TestWithParam<ConsoleFault> {};

TEST_P(ConsoleFaults, FailTheRunAndLeaveTheEarlierFiles) {
    ScratchDir dir;
    dir.write("indata3.txt", "10 1 3 1");
    writeSentinels(dir.path());
    const auto before = snapshot(dir.path());
    RunOptions options;
    options.standardOutput = GetParam().standardOutput;
    options.closeStandardOutput = GetParam().closed;
    options.brokenPipe = GetParam().brokenPipe;
    const ProgramRun run = runProgram(executable, dir.path(), options);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "plattor: " + GetParam().message + "\n");
    EXPECT_EQ(snapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Table, ConsoleFaults, ::testing::ValuesIn(consoleFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// Memory that runs out fails the run with the stage named, before any field file is replaced.
TEST(Memory, RunningOutNamesWhatWasBeingBuiltAndLeavesTheEarlierFiles) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "SKIPPED: the address sanitizer needs more address space than the limit leaves";
#endif
    ScratchDir dir;
    dir.write("indata3.txt", "1 0.1 0.3 2000");  // 100 000 rows of field
    writeSentinels(dir.path());
    const auto before = snapshot(dir.path());
    RunOptions options;
    options.addressSpaceLimit = std::uint64_t{100000} << 10;
    const ProgramRun run = runProgram(executable, dir.path(), options);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(std::regex_match(run.err, std::regex("plattor: out of memory while building the [a-z -]+\n")))
        << run.err;
    EXPECT_EQ(snapshot(dir.path()), before);
}

// The thickest board of the accepted ranges (2764 unknowns a system, the even and the odd one
// built on two threads) within a limited address space: within 200 MB it is answered (the
// largest systems keep to their double factors, and a block the system cannot map comes from the
// heap); within 120 MB its memory runs out, and where the other thread's runs out first, the run
// still says so, not that it was interrupted (the thread that stopped for it).
struct MemoryLimitCase {
    const char* name;
    std::uint64_t kibibytes;
    int exitStatus;
    const char* err;
};

class ThickBoardMemory : public ::testing::TestWithParam<MemoryLimitCase> {};

TEST_P(ThickBoardMemory, IsAnsweredOrToldAsMemory) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "SKIPPED: the address sanitizer needs more address space than the limit leaves";
#endif
    ScratchDir dir;
    RunOptions options;
    options.arguments = {"coplanar", "--w", "2.28", "--t", "0.391", "--s", "0.488", "--h", "9.73", "--er", "4.3",
                         "--g", "4.10", "--ground-width", "0.000257", "--mask", "1.43e-5", "--mask-er", "3.3"};
    options.addressSpaceLimit = GetParam().kibibytes << 10;
    const ProgramRun run = runProgram(PLATTOR_LINES_EXECUTABLE, dir.path(), options);
    EXPECT_EQ(run.exitStatus, GetParam().exitStatus) << run.err;
    EXPECT_EQ(run.err, GetParam().err);
    if (run.exitStatus == 0) EXPECT_NE(run.out.find("differential impedance"), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Limits, ThickBoardMemory,
                         ::testing::Values(MemoryLimitCase{"Within200MB", 200000, 0, ""},
                                           MemoryLimitCase{"RunningOutWithin120MB", 120000, 1,
                                                           "plattor-lines: out of memory\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

// plattor-lines quotes an argument it does not know on one line, escaped like the reader's quotes.
TEST(Arguments, AnUnknownArgumentIsQuotedPrintably) {
    ScratchDir dir;
    const ProgramRun run = runProgram(PLATTOR_LINES_EXECUTABLE, dir.path(), {"--js\non\x1b[2J" + std::string(50, 'x')});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "plattor-lines: unknown argument \"--js\\x0aon\\x1b[2J" + std::string(29, 'x') +
                           "...\" (see plattor-lines --help)\n");
}

// plattor's --help and --version answer and stop: exit 0, the text on standard output, no input
// read (there is none here) and no file created or changed. Any other argument is ignored.
struct InformationCase {
    const char* name;
    std::vector<std::string> arguments;
    std::string firstLine;
};

class InformationArguments : public ::testing::TestWithParam<InformationCase> {};

TEST_P(InformationArguments, AnswerWithoutReadingTheInputOrTouchingAFile) {
    ScratchDir dir;
    writeSentinels(dir.path());
    const auto before = snapshot(dir.path());
    const ProgramRun run = runProgram(executable, dir.path(), GetParam().arguments);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(splitLines(run.out).front(), GetParam().firstLine);
    EXPECT_EQ(run.out.back(), '\n');
    EXPECT_EQ(snapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InformationArguments,
    ::testing::Values(InformationCase{"Help", {"--help"}, "usage: plattor [--help] [--version]"},
                      InformationCase{"Version", {"--version"}, "plattor " PLATTOR_VERSION},
                      InformationCase{"VersionAfterAnIgnoredArgument", {"extra", "--version"}, "plattor " PLATTOR_VERSION},
                      InformationCase{"TheFirstOfBoth", {"--help", "--version"}, "usage: plattor [--help] [--version]"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Interruption: SIGKILL at a dozen moments over the run of the tall case, then at a dozen more
// over the stretch in which the first sweep saw the files being replaced.

TEST(Interruption, AKilledRunLeavesEachFieldFileEarlierOrCompleteNeverTorn) {
    using std::chrono::microseconds;
    const CompleteRun complete = completeRun(tallInput);
    ASSERT_GT(complete.duration.count(), 0);
    constexpr int moments = 12;
    int killed = 0;
    std::map<std::vector<std::string>, int> outcomes;
    auto killAt = [&](microseconds moment) {
        ScratchDir dir;
        dir.write("indata3.txt", tallInput);
        writeSentinels(dir.path());
        RunOptions options;
        options.killAfter = moment;
        const ProgramRun run = runProgram(executable, dir.path(), options);
        if (run.exitStatus == 128 + SIGKILL) ++killed;
        else EXPECT_EQ(run.exitStatus, 0) << run.err;
        const auto states = fieldFileStates(dir.path(), complete.files);
        ++outcomes[states];
        for (std::size_t f = 0; f < fieldFiles.size(); ++f)
            EXPECT_TRUE(states[f] == "earlier" || states[f] == "new")
                << fieldFiles[f] << " is " << states[f] << " after a kill at " << moment.count() << " us";
        // The files are replaced in order: a later one is never newer than an earlier one.
        EXPECT_FALSE(states[0] == "earlier" && states[1] == "new");
        EXPECT_FALSE(states[1] == "earlier" && states[2] == "new");
        return states;
    };

    microseconds before{0}, after = complete.duration;  // the last kill with no file new, the first with all
    for (int k = 1; k <= moments; ++k) {
        const microseconds moment = complete.duration * k / moments;
        const auto states = killAt(moment);
        if (states[0] == "earlier") before = moment;
        if (states[2] == "new" && moment < after) after = moment;
    }
    for (int k = 1; k <= moments; ++k) killAt(before + (after - before) * k / (moments + 1));

    EXPECT_GT(killed, 0) << "no kill landed before the end of the run";
    std::cout << "run time " << complete.duration.count() / 1000 << " ms, files replaced between "
              << before.count() / 1000 << " and " << after.count() / 1000 << " ms; " << killed << " of "
              << 2 * moments << " runs killed; field files (h, ex, ey) afterwards:\n";
    for (const auto& [states, count] : outcomes)
        std::cout << "  " << states[0] << ", " << states[1] << ", " << states[2] << ": " << count << "\n";
}

// What killed runs and others leave beside the field files. A run's temporaries are
// NAME.<slot>.tmp; the next run removes those of a slot whose last temporary (eyfield3.dat's)
// it can lock, which no live run's is. It leaves a live run's temporaries, other names, what is
// not a plain file and what it cannot remove, and none of them stops it.
TEST(Interruption, TheNextRunRemovesTheTemporariesOfRunsThatAreGone) {
    const CompleteRun complete = completeRun("10 1 3 1");
    const struct {
        std::string name;
        bool directory;
        bool locked;  // held by a live process, as a running run holds its own
        bool kept;
    } leftovers[] = {
        {"hfield3.dat.0.tmp", false, false, false},   {"exfield3.dat.0.tmp", false, false, false},
        {"eyfield3.dat.0.tmp", false, false, false},  {"exfield3.dat.1.tmp", false, false, true},
        {"eyfield3.dat.1.tmp", false, true, true},    {"eyfield3.dat.2.tmp", true, false, true},
        {"hfield3.dat.2.tmp", false, false, true},    {"eyfield3.dat.15.tmp", false, false, false},
        {"hfield3.dat.tmp", true, false, true},       {"exfield3.dat.tmp", false, false, true},
        {"hfield3.dat.1.tmp~", false, false, true},   {"hfield3.dat.12345.0badcafe.tmp", false, false, true},
    };
    ScratchDir dir;
    dir.write("indata3.txt", "10 1 3 1");
    writeSentinels(dir.path());
    std::map<std::string, std::string> expected{{"indata3.txt", "10 1 3 1"}};
    for (const auto& [name, text] : complete.files) expected[name] = digest(text);
    std::vector<int> held;
    for (const auto& leftover : leftovers) {
        const fs::path path = dir.path() / leftover.name;
        if (leftover.directory) {
            fs::create_directory(path);
            std::ofstream(path / "inside") << "kept\n";
        } else {
            std::ofstream(path) << "torn half of a";
        }
        if (leftover.locked) {
            held.push_back(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
            ASSERT_EQ(::flock(held.back(), LOCK_EX), 0);
        }
        if (leftover.kept) expected[leftover.name] = leftover.directory ? "<dir>" : "torn half of a";
    }
    const ProgramRun run = runProgram(executable, dir.path());
    for (const int fd : held) ::close(fd);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(snapshot(dir.path()), expected);
}

// Where runs share a directory: an ordinary one; one they may write in but not list (mode
// 0333; run as "nobody" where the tests run as root, whom no mode stops); and one shared by
// runs in process-id namespaces of their own and runs in the tests' namespace.
enum class Sharing { Ordinary, WriteOnlyDirectory, PidNamespaces };

struct SharedDirectory {
    const char* name;
    Sharing sharing;
};

void PrintTo(const SharedDirectory& d, std::ostream* os) { *os << d.name; }

constexpr unsigned nobody = 65534;

// Why `user` cannot run the program in a scratch directory (a build under /root, mode 0700, is
// closed to every other user), or "" where it can: asked of the system as that user.
std::string unreachableFor(unsigned user) {
    const std::string temporary = fs::temp_directory_path().string();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0) ::_exit(3);
        ::_exit(::access(executable.c_str(), X_OK) != 0 ? 1 : ::access(temporary.c_str(), X_OK) != 0 ? 2 : 0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 3)
        return "cannot become user " + std::to_string(user);
    const std::string who = "user " + std::to_string(user) + " cannot reach ";
    if (WEXITSTATUS(status) == 1) return who + executable + " (a parent directory closed to others?)";
    if (WEXITSTATUS(status) == 2) return who + temporary + " (TMPDIR)";
    return "";
}

// The command that puts a run in a process-id namespace of its own, or none where this machine
// cannot make one.
std::optional<std::vector<std::string>> pidNamespaceWrapper() {
    const auto unshare = findOnPath("unshare");
    if (!unshare) return std::nullopt;
    ScratchDir dir;
    for (std::vector<std::string> wrapper :
         {std::vector<std::string>{*unshare, "--pid", "--fork"},
          std::vector<std::string>{*unshare, "--user", "--map-root-user", "--pid", "--fork"}}) {
        RunOptions options;
        options.wrapper = wrapper;
        if (runProgram("/bin/true", dir.path(), options).exitStatus == 0) return wrapper;
    }
    return std::nullopt;
}

// The options of run k for the kind of sharing, or a reason the machine cannot stage it.
struct Staging {
    std::string skipReason;
    std::function<RunOptions(std::size_t)> optionsFor;
};

// Where the directory is to be written but not listed, it is so from `closeUp` to `restore`.
void closeUp(Sharing sharing, const fs::path& dir) {
    if (sharing == Sharing::WriteOnlyDirectory) ::chmod(dir.c_str(), 0333);
}

void restore(const fs::path& dir) { ::chmod(dir.c_str(), 0700); }

Staging stage(Sharing sharing) {
    Staging staging{"", [](std::size_t) { return RunOptions{}; }};
    if (sharing == Sharing::WriteOnlyDirectory && ::geteuid() == 0) {
        const std::string unreachable = unreachableFor(nobody);
        if (!unreachable.empty())
            staging.skipReason = "SKIPPED: no mode stops root, so these runs are user nobody's, but " + unreachable;
        RunOptions asNobody;
        asNobody.userId = nobody;
        staging.optionsFor = [asNobody](std::size_t) { return asNobody; };
    }
    if (sharing == Sharing::PidNamespaces) {
        RunOptions inANamespace;
        if (const auto wrapper = pidNamespaceWrapper()) inANamespace.wrapper = *wrapper;
        else staging.skipReason = "SKIPPED: no process-id namespace can be made here (unshare --pid)";
        staging.optionsFor = [inANamespace](std::size_t k) { return k % 2 == 1 ? inANamespace : RunOptions{}; };
    }
    return staging;
}

std::size_t temporaryCount(const ScratchDir& dir) {
    const auto names = dir.fileNames();
    return std::count_if(names.begin(), names.end(), [](const std::string& n) { return n.ends_with(".tmp"); });
}

class SharedDirectories : public ::testing::TestWithParam<SharedDirectory> {};

// Runs started together in one directory, half of them on another input (the file is swapped
// between starts): each completes, and once they are over the three files are whole and from
// one run, with no temporary left. Neither a directory that cannot be listed nor runs in other
// namespaces cross the files or take a live run's temporaries.
TEST_P(SharedDirectories, RunsStartedTogetherEachCompleteAndLeaveOneRunsFiles) {
    const std::string inputs[] = {"1 0.5 1.5 1\n", "1 0.5 1.5 0.75\n"};
    const CompleteRun complete[] = {completeRun(inputs[0]), completeRun(inputs[1])};
    ScratchDir dir;
    const Staging staging = stage(GetParam().sharing);
    if (!staging.skipReason.empty()) GTEST_SKIP() << staging.skipReason;
    closeUp(GetParam().sharing, dir.path());
    const auto swapInput = [&](std::size_t k) {
        dir.write("indata3.txt.next", inputs[k % 2]);
        fs::rename(dir.path() / "indata3.txt.next", dir.path() / "indata3.txt");
    };
    for (int round = 0; round < 10; ++round) {
        int failed = 0;
        for (const ProgramRun& run :
             plattor::testing::runTogether(executable, dir.path(), 20, swapInput, staging.optionsFor)) {
            failed += run.exitStatus != 0;
            EXPECT_EQ(run.err, "") << "round " << round;
        }
        EXPECT_EQ(failed, 0) << "round " << round;
        const auto states = fieldFileStates(dir.path(), complete[0].files);
        const auto statesOfTheOther = fieldFileStates(dir.path(), complete[1].files);
        EXPECT_TRUE(states == std::vector<std::string>(3, "new") || statesOfTheOther == std::vector<std::string>(3, "new"))
            << "round " << round << ": " << states[0] << ", " << states[1] << ", " << states[2]
                            << " / " << statesOfTheOther[0] << ", " << statesOfTheOther[1] << ", "
                            << statesOfTheOther[2];
        restore(dir.path());
        EXPECT_EQ(dir.fileNames(), (std::vector<std::string>{"exfield3.dat", "eyfield3.dat", "hfield3.dat", "indata3.txt"}))
            << "round " << round;
        closeUp(GetParam().sharing, dir.path());
    }
    restore(dir.path());
}

// The lock that keeps runs from crossing their files holds in a directory that cannot be listed:
// while another holds it (here the test, by the lock file's own protocol: flock, and remove the
// file before letting go), a run replaces nothing; once it is let go, the run completes.
TEST(Concurrency, TheLockHoldsInADirectoryThatCannotBeListed) {
    const CompleteRun complete = completeRun("10 1 3 1");
    ScratchDir dir;
    dir.write("indata3.txt", "10 1 3 1");
    writeSentinels(dir.path());
    const Staging staging = stage(Sharing::WriteOnlyDirectory);
    if (!staging.skipReason.empty()) GTEST_SKIP() << staging.skipReason;
    const fs::path lockFile = dir.path() / "hfield3.dat.lock";
    const int lock = ::open(lockFile.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    closeUp(Sharing::WriteOnlyDirectory, dir.path());
    ProgramRun run;
    std::thread running([&] { run = runProgram(executable, dir.path(), staging.optionsFor(0)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // some fifty times the run's length
    EXPECT_EQ(fieldFileStates(dir.path(), complete.files), std::vector<std::string>(3, "earlier"));
    ::unlink(lockFile.c_str());
    ::close(lock);
    running.join();
    restore(dir.path());
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(fieldFileStates(dir.path(), complete.files), std::vector<std::string>(3, "new"));
    EXPECT_EQ(dir.fileNames(), (std::vector<std::string>{"exfield3.dat", "eyfield3.dat", "hfield3.dat", "indata3.txt"}));
}

// A run killed at a dozen moments leaves temporaries the next run removes, whether the
// directory can be listed or not and in whatever namespace the killed run ran: once the next
// run is over, the field files are whole and nothing else is left.
TEST_P(SharedDirectories, TheTemporariesOfAKilledRunAreRemovedByTheNext) {
    using std::chrono::microseconds;
    const CompleteRun complete = completeRun(tallInput);
    ScratchDir dir;
    dir.write("indata3.txt", tallInput);
    const Staging staging = stage(GetParam().sharing);
    if (!staging.skipReason.empty()) GTEST_SKIP() << staging.skipReason;
    constexpr int moments = 12;
    std::size_t leftBehind = 0;
    for (int k = 1; k <= moments; ++k) {
        const microseconds moment = complete.duration * k / moments;
        // Killed in the namespace of its own where the runs have one (by `timeout` inside it,
        // which outlives it long enough to reap it), else from here.
        RunOptions killed = staging.optionsFor(1);
        if (!killed.wrapper.empty()) {
            for (const std::string word : {"timeout", "-s", "KILL"}) killed.wrapper.push_back(word);
            killed.wrapper.push_back(std::to_string(moment.count() / 1e6));
        } else {
            killed.killAfter = moment;
        }
        closeUp(GetParam().sharing, dir.path());
        runProgram(executable, dir.path(), killed);
        restore(dir.path());
        leftBehind += temporaryCount(dir);
        closeUp(GetParam().sharing, dir.path());
        const ProgramRun next = runProgram(executable, dir.path(), staging.optionsFor(0));
        EXPECT_EQ(next.exitStatus, 0) << next.err;
        restore(dir.path());
        EXPECT_EQ(dir.fileNames(), (std::vector<std::string>{"exfield3.dat", "eyfield3.dat", "hfield3.dat", "indata3.txt"}))
            << "after a kill at " << moment.count() << " us";
        EXPECT_EQ(fieldFileStates(dir.path(), complete.files), std::vector<std::string>(3, "new"));
    }
    std::cout << "temporaries left by killed runs: " << leftBehind << "\n";
    // Where this machine's timing let every kill fall before or after the temporaries lived
    // (a slow build under the sanitizers), the clean-up had nothing to show.
    if (leftBehind == 0) GTEST_SKIP() << "SKIPPED: no kill left a temporary behind at this machine's timing";
}

INSTANTIATE_TEST_SUITE_P(Kinds, SharedDirectories,
                         ::testing::Values(SharedDirectory{"Ordinary", Sharing::Ordinary},
                                           SharedDirectory{"WriteOnly0333", Sharing::WriteOnlyDirectory},
                                           SharedDirectory{"TwoPidNamespaces", Sharing::PidNamespaces}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// The environment: the locale does not change the output, and nothing outside the working
// directory is touched.

// A locale installed here whose decimal separator is a comma, or none.
std::optional<std::string> commaLocale() {
    for (const char* name : {"de_DE.UTF-8", "sv_SE.UTF-8", "fr_FR.UTF-8", "de_DE.utf8", "sv_SE.utf8"}) {
        const locale_t locale = ::newlocale(LC_ALL_MASK, name, nullptr);
        if (locale == nullptr) continue;
        const bool comma = std::strcmp(::nl_langinfo_l(RADIXCHAR, locale), ",") == 0;
        ::freelocale(locale);
        if (comma) return name;
    }
    return std::nullopt;
}

TEST(Environment, TheLocaleNeverChangesTheOutput) {
    const auto locale = commaLocale();
    if (!locale)
        GTEST_SKIP() << "SKIPPED: no locale with a decimal comma is installed (see localedef -i de_DE -f UTF-8)";
    const std::string input = "10.5 1.25 3.5 0.75\n";
    ScratchDir plain;
    plain.write("indata3.txt", input);
    const ProgramRun expected = runProgram(executable, plain.path());
    ASSERT_EQ(expected.exitStatus, 0) << expected.err;
    for (const std::string variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        ScratchDir dir;
        dir.write("indata3.txt", input);
        RunOptions options;
        for (const std::string name : {"LC_ALL", "LC_NUMERIC", "LANG"})
            options.environment.push_back(name + "=" + (name == variable ? *locale : ""));
        const ProgramRun run = runProgram(executable, dir.path(), options);
        EXPECT_EQ(run.exitStatus, 0) << variable << ": " << run.err;
        EXPECT_EQ(run.out, expected.out) << variable;
        for (const auto& name : fieldFiles) {
            EXPECT_EQ(dir.read(name), plain.read(name)) << variable << " " << name;
            EXPECT_EQ(dir.read(name).find(','), std::string::npos) << variable << " " << name;
        }
    }
}

TEST(Environment, SymbolicLinksOutOfTheDirectoryAreReplacedNotWrittenThrough) {
    ScratchDir outside;
    outside.write("target", "outside\n");
    outside.write("target.tmp", "outside tmp\n");
    ScratchDir dir;
    dir.write("indata3.txt", "10 1 3 1");
    fs::create_symlink(outside.path() / "target", dir.path() / "hfield3.dat");
    // Named as temporaries (the first two slots taken, the second by its last name) and as a
    // name no run makes now: no run's plain file, so left where they are.
    fs::create_symlink(outside.path() / "target.tmp", dir.path() / "exfield3.dat.0.tmp");
    fs::create_symlink(outside.path() / "target.tmp", dir.path() / "eyfield3.dat.1.tmp");
    fs::create_symlink(outside.path() / "absent", dir.path() / "eyfield3.dat.tmp");
    const ProgramRun run = runProgram(executable, dir.path());
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(snapshot(outside.path()),
              (std::map<std::string, std::string>{{"target", "outside\n"}, {"target.tmp", "outside tmp\n"}}));
    EXPECT_EQ(dir.fileNames(), (std::vector<std::string>{"exfield3.dat", "exfield3.dat.0.tmp", "eyfield3.dat",
                                                         "eyfield3.dat.1.tmp", "eyfield3.dat.tmp", "hfield3.dat",
                                                         "indata3.txt"}));
    EXPECT_FALSE(fs::is_symlink(dir.path() / "hfield3.dat"));
}

std::optional<std::string> findOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    for (std::string d; std::getline(dirs, d, ':');)
        if (!d.empty() && ::access((fs::path(d) / program).c_str(), X_OK) == 0) return (fs::path(d) / program).string();
    return std::nullopt;
}

// Every path the program names in a system call, from a trace: whatever it creates, writes,
// renames or removes is a plain name in the working directory, and the only relative names it
// opens to read are indata3.txt and the directory "." (the loader and runtime read their own
// absolute paths).
TEST(Environment, TheProgramTouchesNothingOutsideItsWorkingDirectory) {
    const auto strace = findOnPath("strace");
    if (!strace) GTEST_SKIP() << "SKIPPED: strace is not installed";
    ScratchDir dir;
    ScratchDir log;
    dir.write("indata3.txt", "10 1 3 1");
    writeSentinels(dir.path());
    const std::string trace = (log.path() / "trace").string();
    RunOptions options;
    options.arguments = {"-f", "-qq", "-o", trace, "-e", "trace=%file", "--", executable};
    options.environment = {"ASAN_OPTIONS=detect_leaks=0"};  // the leak checker cannot run under a tracer
    const ProgramRun run = runProgram(*strace, dir.path(), options);
    if (run.exitStatus != 0 && run.err.find("PTRACE") != std::string::npos)
        GTEST_SKIP() << "SKIPPED: tracing is not permitted here: " << run.err;
    ASSERT_EQ(run.exitStatus, 0) << run.err;

    const std::regex call(R"(^\d+ +(\w+)\((.*)\) += (-?\d+))");
    const std::regex quoted(R"re("((?:[^"\\]|\\.)*)")re");
    const std::regex writeFlags("O_WRONLY|O_RDWR|O_CREAT|O_TRUNC");
    const std::set<std::string> mutating{"unlink", "unlinkat", "rename", "renameat", "renameat2", "mkdir",
                                         "mkdirat", "rmdir", "link", "linkat", "symlink", "symlinkat",
                                         "chmod", "fchmodat", "chown", "lchown", "fchownat", "truncate",
                                         "utimensat", "creat", "mknod", "mknodat"};
    std::set<std::string> written, readRelative;
    int calls = 0;
    for (const auto& line : splitLines(slurp(trace))) {
        std::smatch m;
        if (!std::regex_search(line, m, call)) continue;
        const std::string name = m[1], args = m[2];
        if (name == "execve") continue;
        ++calls;
        const bool opensToWrite = (name == "open" || name == "openat") && std::regex_search(args, writeFlags);
        const bool writes = mutating.count(name) > 0 || opensToWrite;
        for (std::sregex_iterator q(args.begin(), args.end(), quoted), end; q != end; ++q) {
            const std::string path = (*q)[1];
            // A temporary's name carries its slot.
            const std::string name = std::regex_replace(path, std::regex(R"(\.\d+\.tmp$)"), ".ID.tmp");
            if (writes) written.insert(name);
            else if (!path.empty() && path.front() != '/') readRelative.insert(name);
        }
    }
    EXPECT_GT(calls, 0) << "the trace is empty";
    std::set<std::string> expectedWritten{"hfield3.dat.lock"};
    for (const auto& f : fieldFiles) expectedWritten.insert({f, f + ".ID.tmp"});
    EXPECT_EQ(written, expectedWritten);
    // "." opened to name files in, the lock file checked to be the one locked, the slots' last
    // temporaries looked for.
    EXPECT_EQ(readRelative, (std::set<std::string>{"indata3.txt", ".", "hfield3.dat.lock", "eyfield3.dat.ID.tmp"}));
}

// ---------------------------------------------------------------------------------------------
// README's section "When the input is wrong" shows messages the suites above check against the
// program: every message it quotes is one of theirs, word for word.

TEST(Readme, EveryMessageItQuotesIsOneTheProgramIsCheckedToPrint) {
    const std::string readme = slurp(readmePath);
    const auto start = readme.find("## When the input is wrong");
    ASSERT_NE(start, std::string::npos);
    const std::string section = readme.substr(start, readme.find("\n## ", start + 1) - start);

    std::set<std::string> checked;
    for (const auto& f : inputFaults) checked.insert("plattor: " + f.message);
    for (const auto& f : outputFaults) checked.insert("plattor: " + f.message);
    for (const auto& f : consoleFaults) checked.insert("plattor: " + f.message);

    int quoted = 0;
    const std::regex message("`(plattor: [^`]*)`");
    for (std::sregex_iterator m(section.begin(), section.end(), message), end; m != end; ++m) {
        const std::string text = std::regex_replace((*m)[1].str(), std::regex(R"(\\\|)"), "|");
        if (text.find("…") != std::string::npos) continue;  // a pattern, not an example
        ++quoted;
        EXPECT_TRUE(checked.count(text)) << "README quotes a message no test checks: " << text;
    }
    EXPECT_GE(quoted, 10) << "the section's quoted messages were not found";
}

}  // namespace
