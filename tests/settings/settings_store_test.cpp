// The settings file on disk: where it is, what reading a bad file gives,
// what a write keeps, and that a write interrupted at any moment leaves the
// old or the new file, never a torn one.
#include "configtool/platform/settings_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>

#include "tests/settings/temp_dir.h"

namespace k470 {
namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kKey = "SOFTWARE\\Corvane\\Lumora";

EnvLookup FakeEnv(std::map<std::string, std::string> vars) {
  return [vars](const char* name) -> std::optional<std::string> {
    auto it = vars.find(name);
    if (it == vars.end()) return std::nullopt;
    return it->second;
  };
}

TEST(SettingsPathTest, EnvironmentChoosesTheFile) {
  struct Case {
    std::map<std::string, std::string> env;
    std::string path;
  };
  const Case cases[] = {
      {{{"K470_SETTINGS", "/etc/k470.reg"}, {"XDG_CONFIG_HOME", "/x"}, {"HOME", "/home/u"}}, "/etc/k470.reg"},
      {{{"K470_SETTINGS", ""}, {"XDG_CONFIG_HOME", "/x"}, {"HOME", "/home/u"}}, "/x/Corvane/Lumora.reg"},
      {{{"XDG_CONFIG_HOME", "/x"}, {"HOME", "/home/u"}}, "/x/Corvane/Lumora.reg"},
      // A relative XDG_CONFIG_HOME is ignored, as the XDG rules say.
      {{{"XDG_CONFIG_HOME", "rel/dir"}, {"HOME", "/home/u"}}, "/home/u/.config/Corvane/Lumora.reg"},
      {{{"XDG_CONFIG_HOME", ""}, {"HOME", "/home/u"}}, "/home/u/.config/Corvane/Lumora.reg"},
      {{{"HOME", "/home/u"}}, "/home/u/.config/Corvane/Lumora.reg"},
  };
  for (const auto& c : cases) EXPECT_EQ(DefaultSettingsPath(FakeEnv(c.env)), c.path);
  // Without HOME the password database names the home directory.
  std::string fallback = DefaultSettingsPath(FakeEnv({}));
  EXPECT_NE(fallback.find("/.config/Corvane/Lumora.reg"), std::string::npos) << fallback;
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir / "Corvane/Lumora.reg";
  SettingsStore store{path};
};

TEST_F(SettingsStoreTest, EachTypeRoundTripsAndTheDirectoryIsCreated) {
  ASSERT_TRUE(store.Write(kKey, {{"ComPort", RegValue::Dword(7)},
                                 {"defaultVendorName", RegValue::String("Gerätebau \"Nord\" C:\\")},
                                 {"defaultProductName", RegValue::ExpandString("Lumora Data für %USER%")}}));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "Corvane"));
  EXPECT_TRUE(store.KeyExists(kKey));
  EXPECT_EQ(store.Query(kKey, "ComPort"), RegValue::Dword(7));
  EXPECT_EQ(store.Query(kKey, "defaultVendorName"), RegValue::String("Gerätebau \"Nord\" C:\\"));
  EXPECT_EQ(store.Query(kKey, "defaultProductName"), RegValue::ExpandString("Lumora Data für %USER%"));
  EXPECT_FALSE(store.Query(kKey, "defaultDeviceName").has_value());
  EXPECT_FALSE(store.Query("SOFTWARE\\Other", "ComPort").has_value());
  EXPECT_EQ(ReadFile(path).substr(0, 37), "Windows Registry Editor Version 5.00\n");
}

TEST_F(SettingsStoreTest, BadFilesReadAsEmpty) {
  // Missing.
  EXPECT_FALSE(store.Query(kKey, "ComPort").has_value());
  EXPECT_FALSE(store.KeyExists(kKey));
  // Not a registry export.
  std::filesystem::create_directories(dir / "Corvane");
  WriteFile(path, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n\"ComPort\"=dword:00000002\n");
  EXPECT_FALSE(store.Query(kKey, "ComPort").has_value());
  // Binary garbage.
  WriteFile(path, std::string("\x00\x01\xff\xfe\x00garbage", 12));
  EXPECT_FALSE(store.Query(kKey, "ComPort").has_value());
  // Unreadable: a directory where the file should be (works as root too).
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  EXPECT_FALSE(store.Query(kKey, "ComPort").has_value());
  // A FIFO must not hang the reader.
  std::filesystem::remove(path);
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_FALSE(store.Query(kKey, "ComPort").has_value());
}

TEST_F(SettingsStoreTest, PermissionDeniedReadsAsEmpty) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  ASSERT_TRUE(store.Write(kKey, {{"ComPort", RegValue::Dword(2)}}));
  ::chmod(path.c_str(), 0);
  EXPECT_FALSE(store.Query(kKey, "ComPort").has_value());
  // And the write does not replace what it could not read.
  EXPECT_FALSE(store.Write(kKey, {{"ComPort", RegValue::Dword(3)}}));
}

TEST_F(SettingsStoreTest, AMalformedLineCostsOnlyItsValue) {
  std::filesystem::create_directories(dir / "Corvane");
  WriteFile(path,
            "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n"
            "\"ComPort\"=dword:00000003\n\"defaultVendorName\"=\"unterminated\n\"defaultDeviceName\"=\"K\"\n");
  EXPECT_EQ(store.Query(kKey, "ComPort"), RegValue::Dword(3));
  EXPECT_FALSE(store.Query(kKey, "defaultVendorName").has_value());
  EXPECT_EQ(store.Query(kKey, "defaultDeviceName"), RegValue::String("K"));
}

TEST_F(SettingsStoreTest, WriteKeepsValuesItDoesNotKnow) {
  std::filesystem::create_directories(dir / "Corvane");
  const std::string original =
      "Windows Registry Editor Version 5.00\n\n"
      "; my ports\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n"
      "\"ExtraPorts\"=\"/dev/serial/by-id/usb-x,rfcomm0\"\n"
      "\"ComPort\"=dword:00000001\n"
      "\"Unreadable\"=dword:nope\n\n";
  WriteFile(path, original);
  ::chmod(path.c_str(), 0640);
  ASSERT_TRUE(store.Write(kKey, {{"ComPort", RegValue::Dword(0)}}));
  std::string expected = original;
  expected.replace(expected.find("dword:00000001"), 14, "dword:00000000");
  EXPECT_EQ(ReadFile(path), expected);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // the file keeps its mode
}

TEST_F(SettingsStoreTest, WriteRefusesToReplaceAFileThatIsNotOurs) {
  std::filesystem::create_directories(dir / "Corvane");
  WriteFile(path, "# not a settings file\nimportant=1\n");
  EXPECT_FALSE(store.Write(kKey, {{"ComPort", RegValue::Dword(2)}}));
  EXPECT_EQ(ReadFile(path), "# not a settings file\nimportant=1\n");
}

TEST_F(SettingsStoreTest, WriteFailsWithoutAPlaceForTheFile) {
  // The directory's parent is a file.
  WriteFile(dir / "Corvane", "x");
  EXPECT_FALSE(store.Write(kKey, {{"ComPort", RegValue::Dword(2)}}));
  EXPECT_FALSE(SettingsStore("").Write(kKey, {{"ComPort", RegValue::Dword(2)}}));
}

TEST_F(SettingsStoreTest, ASymbolicLinkStaysALink) {
  std::filesystem::create_directories(dir / "dotfiles");
  std::filesystem::create_directories(dir / "Corvane");
  SettingsStore real(dir / "dotfiles/Lumora.reg");
  ASSERT_TRUE(real.Write(kKey, {{"ComPort", RegValue::Dword(1)}}));
  std::filesystem::create_symlink(dir / "dotfiles/Lumora.reg", path);
  ASSERT_TRUE(store.Write(kKey, {{"ComPort", RegValue::Dword(5)}}));
  EXPECT_TRUE(std::filesystem::is_symlink(path));
  EXPECT_EQ(real.Query(kKey, "ComPort"), RegValue::Dword(5));
}

TEST_F(SettingsStoreTest, ACrashDuringAWriteLeavesTheOldOrTheNewFile) {
  // Two states with a large value, so a write takes a while and a kill has
  // many moments to land in.
  const std::vector<RegUpdate> stateA = {{"ComPort", RegValue::Dword(1)},
                                         {"ExtraPorts", RegValue::String(std::string(40000, 'a'))}};
  const std::vector<RegUpdate> stateB = {{"ComPort", RegValue::Dword(2)},
                                         {"ExtraPorts", RegValue::String(std::string(60000, 'b'))}};
  ASSERT_TRUE(store.Write(kKey, stateB));
  ASSERT_TRUE(store.Write(kKey, stateA));
  const std::string contentA = ReadFile(path);
  ASSERT_TRUE(store.Write(kKey, stateB));
  const std::string contentB = ReadFile(path);
  ASSERT_NE(contentA, contentB);

  std::mt19937 random(12345);
  int sawA = 0, sawB = 0;
  for (int round = 0; round < 40; ++round) {
    int progress[2];
    ASSERT_EQ(::pipe(progress), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(progress[0]);
      SettingsStore writer(path);
      for (uint64_t i = 0;; ++i) {
        writer.Write(kKey, i % 2 == 0 ? stateA : stateB);
        char done = 'w';
        if (::write(progress[1], &done, 1) != 1) ::_exit(1);
      }
    }
    ::close(progress[1]);
    // Let the writer finish a few writes, then kill it at an arbitrary
    // moment of a later one.
    for (int k = 1 + static_cast<int>(random() % 3); k > 0; --k) {
      char done;
      ASSERT_EQ(::read(progress[0], &done, 1), 1);
    }
    ::usleep(static_cast<useconds_t>(random() % 2000));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(progress[0]);
    std::string content = ReadFile(path);
    ASSERT_TRUE(content == contentA || content == contentB) << "torn file after round " << round << ", "
                                                            << content.size() << " bytes";
    (content == contentA ? sawA : sawB)++;
  }
  // The kills landed after both kinds of write.
  EXPECT_GT(sawA, 0);
  EXPECT_GT(sawB, 0);
  // Temporaries of the killed writers are cleared by the next write.
  ASSERT_TRUE(store.Write(kKey, stateA));
  for (const auto& entry : std::filesystem::directory_iterator(dir / "Corvane")) {
    EXPECT_EQ(entry.path().filename(), "Lumora.reg") << "left over: " << entry.path();
  }
}

}  // namespace
}  // namespace k470
