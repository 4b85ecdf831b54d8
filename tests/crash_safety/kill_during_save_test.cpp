// A process killed at any moment while it saves a list never leaves a
// truncated or mixed file: the file is always the old list or the new one.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "tests/crash_safety/two_lists.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(KillDuringSave, TheFileIsAlwaysOneWholeList) {
  const fs::path folder = fs::temp_directory_path() / ("quellix-kill-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const std::string first = quellix::testing::FirstFile();
  const std::string second = quellix::testing::SecondFile();
  std::mt19937 random(2026);
  int saw_first = 0, saw_second = 0;
  for (int round = 0; round < 40; ++round) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::dup2(ready[1], STDOUT_FILENO);
      ::execl(SAVE_LOOP_PATH, SAVE_LOOP_PATH, folder.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(ready[1]);
    char line[16];
    ASSERT_GT(::read(ready[0], line, sizeof line), 0);  // "saved": one whole save is done
    ::close(ready[0]);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 60000));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the save loop stopped by itself";
    const std::string file = ReadFile(folder / "allowed.txt");
    const bool whole = file == first || file == second;
    ASSERT_TRUE(whole) << "round " << round << ": a file of " << file.size() << " bytes";
    (file == first ? saw_first : saw_second)++;
  }
  EXPECT_EQ(saw_first + saw_second, 40);
  fs::remove_all(folder);
}

}  // namespace
