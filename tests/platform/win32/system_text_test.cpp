// File-system and process texts at the Windows API edge: UTF-8 inside, UTF-16 outside,
// with nothing lost either way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system_port.h"
#include "win32/process_text.h"
#include "win32/wide_text.h"

namespace vqx::win32 {
namespace {

TEST(WideTextTest, NamesInAnyScriptRoundTrip) {
  const struct {
    const char* utf8;
    const wchar_t* utf16;
  } names[] = {
      {"C:\\Users\\tech\\VQXSU_Prefs.cfg", L"C:\\Users\\tech\\VQXSU_Prefs.cfg"},
      {"C:\\Users\\T\xC3\xA9" "cnico", L"C:\\Users\\T\u00E9cnico"},                  // Latin-1 range
      {"\xCE\xA3\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1.json", L"\u03A3\u03BF\u03C6\u03AF\u03B1.json"},  // Greek
      {"\xE8\xA8\xAD\xE5\xAE\x9A", L"\u8A2D\u5B9A"},                                   // CJK
      {"mast \xF0\x9F\x93\xA1.cfg", L"mast \xD83D\xDCE1.cfg"},                           // beyond the BMP
      {"", L""},
  };
  for (const auto& name : names) {
    EXPECT_EQ(WidenUtf8(name.utf8), std::wstring(name.utf16)) << name.utf8;
    EXPECT_EQ(NarrowToUtf8(name.utf16), std::string(name.utf8)) << name.utf8;
  }
}

// A byte that is not valid UTF-8 is neither dropped nor turned into U+FFFD: it stays as
// the Latin-1 character it would be in Western Europe's ANSI code page.
TEST(WideTextTest, BytesThatAreNotUtf8KeepACharacterEach) {
  EXPECT_EQ(WidenUtf8("caf\xE9.json"), L"caf\u00E9.json");
  EXPECT_EQ(WidenUtf8("end\xCE"), L"end\u00CE");               // cut before its second byte
  EXPECT_EQ(WidenUtf8("\xE8\xA8x"), L"\u00E8\u00A8x");          // cut inside a three-byte one
  EXPECT_EQ(WidenUtf8("\xC0\xAF"), L"\u00C0\u00AF");            // overlong '/': not a separator
  EXPECT_EQ(WidenUtf8("\xF5\x80\x80\x80"), L"\u00F5\u0080\u0080\u0080");  // beyond U+10FFFF
  EXPECT_EQ(WidenUtf8(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    const std::string lone(1, static_cast<char>(byte));
    EXPECT_EQ(WidenUtf8(lone), std::wstring(1, static_cast<wchar_t>(byte))) << byte;
  }
}

// Windows allows a file name with half a surrogate pair; its narrow form opens it again.
TEST(WideTextTest, AnUnpairedSurrogateComesBackAsItWas) {
  for (const std::wstring& name : {std::wstring(L"a\xD800z"), std::wstring(L"\xDC00"), std::wstring(L"x\xDBFF")}) {
    const std::string narrow = NarrowToUtf8(name);
    EXPECT_EQ(narrow.size(), name.size() + 2);
    EXPECT_EQ(WidenUtf8(narrow), name);
  }
}

TEST(SystemPathTextTest, PathsKeepEveryCharacter) {
  const std::string folder = "C:\\Users\\\xCE\xA3\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1";
  const std::filesystem::path path = PathFromText(folder) / PathFromText("\xE8\xA8\xAD.json");
  EXPECT_EQ(path.native(), L"C:\\Users\\\u03A3\u03BF\u03C6\u03AF\u03B1\\\u8A2D.json");
  EXPECT_EQ(TextOfPath(path.filename()), "\xE8\xA8\xAD.json");
  EXPECT_EQ(TextOfPath(path.parent_path()), folder);
  // Not UTF-8: no exception, and the byte is still there.
  EXPECT_EQ(PathFromText("caf\xE9").native(), L"caf\u00E9");
}

// The environment and the command line, read wide through the seam.
class ProcessCalls : public Win32Calls {
 public:
  std::wstring value;
  bool set = true;
  int reads = 0;
  std::vector<std::wstring> commandLine;
  bool splitFails = false;

  DWORD EnvironmentVariable(const wchar_t*, wchar_t* buffer, DWORD size) override {
    ++reads;
    if (!set) return 0;
    if (value.size() + 1 > size) return static_cast<DWORD>(value.size() + 1);
    value.copy(buffer, value.size());
    buffer[value.size()] = L'\0';
    return static_cast<DWORD>(value.size());
  }
  wchar_t** CommandLineArguments(int* count) override {
    if (splitFails) return nullptr;
    // One block, as CommandLineToArgvW gives it: LocalFree releases it whole.
    size_t bytes = (commandLine.size() + 1) * sizeof(wchar_t*);
    for (const std::wstring& arg : commandLine) bytes += (arg.size() + 1) * sizeof(wchar_t);
    auto** args = static_cast<wchar_t**>(::LocalAlloc(LMEM_FIXED, bytes));
    auto* text = reinterpret_cast<wchar_t*>(args + commandLine.size() + 1);
    for (size_t i = 0; i < commandLine.size(); ++i) {
      args[i] = text;
      text = std::copy(commandLine[i].begin(), commandLine[i].end(), text);
      *text++ = L'\0';
    }
    args[commandLine.size()] = nullptr;
    *count = static_cast<int>(commandLine.size());
    return args;
  }
};

TEST(ProcessTextTest, AnEnvironmentValueOfAnyLengthArrivesWhole) {
  ProcessCalls calls;
  calls.value = L"C:\\users\\T\u00E9cnico \u03A3\u03BF\u03C6\u03AF\u03B1";
  EXPECT_EQ(EnvironmentText(calls, L"USERPROFILE"), "C:\\users\\T\xC3\xA9" "cnico \xCE\xA3\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1");
  calls.value = L"C:\\" + std::wstring(700, L'\u03A9');  // longer than the first buffer
  EXPECT_EQ(EnvironmentText(calls, L"USERPROFILE").size(), 3u + 700u * 2u);
  calls.set = false;
  calls.reads = 0;
  EXPECT_EQ(EnvironmentText(calls, L"USERPROFILE"), "");
  EXPECT_EQ(calls.reads, 1);
}

TEST(ProcessTextTest, ArgumentsComeFromTheWideCommandLine) {
  ProcessCalls calls;
  calls.commandLine = {L"vqxctl.exe", L"history", L"--prefs", L"\u8A2D\u5B9A\\VQXSU_Prefs.cfg"};
  char program[] = "vqxctl.exe", history[] = "history", prefs[] = "--prefs", lossy[] = "??\\VQXSU_Prefs.cfg";
  char* argv[] = {program, history, prefs, lossy, nullptr};
  EXPECT_EQ(ProgramArguments(calls, 4, argv),
            (std::vector<std::string>{"history", "--prefs", "\xE8\xA8\xAD\xE5\xAE\x9A\\VQXSU_Prefs.cfg"}));

  // A split Windows could not make, or one that disagrees with the C runtime's: argv.
  const std::vector<std::string> fromArgv{"history", "--prefs", "??\\VQXSU_Prefs.cfg"};
  calls.commandLine.pop_back();
  EXPECT_EQ(ProgramArguments(calls, 4, argv), fromArgv);
  calls.splitFails = true;
  EXPECT_EQ(ProgramArguments(calls, 4, argv), fromArgv);
}

}  // namespace
}  // namespace vqx::win32
