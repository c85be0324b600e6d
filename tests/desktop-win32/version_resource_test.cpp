// vqxsu.exe as built: its version resource, its manifest and its --version text all carry
// the build's version, the one the Qt program and vqxctl show.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "program_options.h"
#include "vqx_version.h"

namespace {

struct Version {
  unsigned major = 0, minor = 0, patch = 0;
};

Version BuildVersion() {
  Version v;
  EXPECT_EQ(std::sscanf(VQX_VERSION, "%u.%u.%u", &v.major, &v.minor, &v.patch), 3);
  return v;
}

// The program under test, as the test's environment names it (a path of the build machine).
std::wstring ProgramPath() {
  const char* path = std::getenv("VQXSU_EXE");
  if (path == nullptr) return {};
  std::wstring wide = L"Z:";
  for (const char* p = path; *p != '\0'; ++p) wide.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(*p));
  return wide;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST(VersionResourceTest, TheVersionResourceAndManifestCarryTheBuildsVersion) {
  const std::wstring exe = ProgramPath();
  ASSERT_FALSE(exe.empty()) << "VQXSU_EXE names the program";
  const Version v = BuildVersion();

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  for (const auto& [ms, ls] : {std::pair{fixed->dwFileVersionMS, fixed->dwFileVersionLS},
                               std::pair{fixed->dwProductVersionMS, fixed->dwProductVersionLS}}) {
    EXPECT_EQ(HIWORD(ms), v.major);
    EXPECT_EQ(LOWORD(ms), v.minor);
    EXPECT_EQ(HIWORD(ls), 0u);
    EXPECT_EQ(LOWORD(ls), v.patch);
  }
  const std::string shown = std::to_string(v.major) + "." + std::to_string(v.minor) + " (Build " +
                            std::to_string(v.patch) + ")";
  EXPECT_EQ("Version " + shown, VQX_VERSION_LINE) << "the About box's words";
  for (const wchar_t* name : {L"\\StringFileInfo\\040904b0\\FileVersion", L"\\StringFileInfo\\040904b0\\ProductVersion"}) {
    wchar_t* text = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), name, reinterpret_cast<void**>(&text), &length)) << Narrow(name);
    EXPECT_EQ(Narrow(text), shown) << Narrow(name);
  }

  const HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(resource, nullptr);
  const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, resource)));
  const std::string manifest(bytes, SizeofResource(module, resource));
  FreeLibrary(module);
  const std::string identity = "name=\"VQX.SetupUtility.vqxsu\" version=\"" + std::to_string(v.major) + "." +
                               std::to_string(v.minor) + ".0." + std::to_string(v.patch) + "\"";
  EXPECT_NE(manifest.find(identity), std::string::npos) << manifest.substr(0, 300);
}

// The text --version shows, as the Qt program words it, from the options code both programs
// share. (The program itself, started without a console, shows it in a box: the Wine faults
// suite reads that box. The optimiser may build the text from immediate stores, so the
// image need not hold it as one string.)
TEST(VersionResourceTest, TheProgramsVersionTextIsTheBuildsAsTheQtProgramShowsIt) {
  EXPECT_EQ(vqx::desktop::DesktopVersionLine(), "vqxsu " VQX_VERSION " - VQX Setup Utility " VQX_VERSION_LINE "\n");
}

}  // namespace
