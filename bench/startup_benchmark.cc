// Start-up and idle cost of tervala_app, measured from outside the program.
//
// The program is copied into a temporary folder with the start-up bundle
// (bench/startup_bundle.c) as its data/app.so, then started again and again, headless. The
// bundle prints when its entry point ran, when it submitted the first frame (the window is
// shown after it) and when the first initializeCore reply came; this driver takes the time
// just before it forks, so each figure is "since exec", and it reads the peak resident memory
// from wait4. With --sample it also runs the program's own folder (the sample application,
// --exit-when-ready) for its time to exit and its peak memory.
//
// The idle measurement starts the program once more, waits until the reply has come and a
// second has passed, then reads the CPU time and the context switches of all its threads
// before and after a few idle seconds.
//
//   startup_benchmarks --app build/release/runner/tervala_app --bundle <startup_bundle.so>
//       --config bundle/sample/nimbus-services.json [--runs 21] [--idle-seconds 5] [--sample]
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

long long NowNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// A started program: its id, and the read end of its standard output.
struct Child {
  pid_t pid = -1;
  int output = -1;
  long long started = 0;
};

Child Start(const fs::path& program, const fs::path& working_folder,
            const std::vector<std::string>& arguments) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) {
    std::perror("pipe");
    std::exit(1);
  }
  std::vector<std::string> argument_texts{program.string()};
  argument_texts.insert(argument_texts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argument_texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  Child child;
  child.started = NowNanoseconds();
  child.pid = fork();
  if (child.pid < 0) {
    std::perror("fork");
    std::exit(1);
  }
  if (child.pid == 0) {
    dup2(pipe_ends[1], STDOUT_FILENO);
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    if (chdir(working_folder.c_str()) != 0) _exit(126);
    setenv("TERVALA_HEADLESS", "1", 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipe_ends[1]);
  child.output = pipe_ends[0];
  return child;
}

// Reads the child's output up to a line starting with `until` (or to the end, when empty).
std::string ReadOutput(const Child& child, const std::string& until) {
  std::string text;
  char buffer[4096];
  for (;;) {
    if (!until.empty()) {
      const size_t at = text.find(until);
      if (at != std::string::npos && text.find('\n', at) != std::string::npos) return text;
    }
    const ssize_t count = read(child.output, buffer, sizeof buffer);
    if (count <= 0) return text;
    text.append(buffer, static_cast<size_t>(count));
  }
}

// The times the bundle printed, by step ("entry", "frame", "reply").
std::map<std::string, long long> Steps(const std::string& output) {
  std::map<std::string, long long> steps;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string tag, step;
    long long when = 0;
    if (words >> tag >> step >> when && tag == "startup") steps.emplace(step, when);
  }
  return steps;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void PrintRow(const char* name, const std::vector<double>& values, const char* unit) {
  if (values.empty()) {
    std::printf("%-34s %10s\n", name, "-");
    return;
  }
  std::printf("%-34s %10.2f %10.2f %10.2f  %s\n", name, Median(values),
              *std::min_element(values.begin(), values.end()),
              *std::max_element(values.begin(), values.end()), unit);
}

// CPU time (user + system, in clock ticks) and context switches of all the process's threads.
struct Usage {
  long long ticks = 0;
  long long switches = 0;
};

Usage ReadUsage(pid_t pid) {
  Usage usage;
  const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  for (const fs::directory_entry& task : fs::directory_iterator(tasks, error)) {
    std::ifstream stat(task.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold spaces.
    const size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(text.substr(close + 2));
    std::vector<std::string> values;
    std::string field;
    while (fields >> field) values.push_back(field);
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    if (values.size() > 12) usage.ticks += std::stoll(values[11]) + std::stoll(values[12]);
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
          line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
        usage.switches += std::stoll(line.substr(line.find(':') + 1));
      }
    }
  }
  return usage;
}

int ThreadCount(pid_t pid) {
  int count = 0;
  std::error_code error;
  for (auto it = fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error);
       it != fs::directory_iterator(); ++it) {
    ++count;
  }
  return count;
}

// Waits for the child; its peak resident memory in KiB, or -1 when it did not exit cleanly.
long Finish(Child& child, int* status_out = nullptr) {
  close(child.output);
  int status = 0;
  rusage usage{};
  if (wait4(child.pid, &status, 0, &usage) < 0) {
    std::perror("wait4");
    std::exit(1);
  }
  if (status_out != nullptr) *status_out = status;
  return usage.ru_maxrss;
}

// A copy of the program's folder with the start-up bundle as its application.
fs::path LayOut(const fs::path& app, const fs::path& bundle, const fs::path& config) {
  char name[] = "/tmp/tervala_startup_XXXXXX";
  if (mkdtemp(name) == nullptr) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  const fs::path folder = name;
  fs::copy_file(app, folder / "tervala_app");
  fs::create_directories(folder / "data" / "vela_assets");
  const fs::path icu = app.parent_path() / "data" / "icudtl.dat";
  if (fs::exists(icu)) {
    fs::copy_file(icu, folder / "data" / "icudtl.dat");
  } else {
    std::ofstream(folder / "data" / "icudtl.dat");
  }
  fs::copy_file(bundle, folder / "data" / "app.so");
  fs::copy_file(config, folder / "nimbus-services.json");
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path app, bundle, config;
  int runs = 21;
  int idle_seconds = 5;
  bool sample = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool has_value = i + 1 < argc;
    if (argument == "--app" && has_value) {
      app = fs::absolute(argv[++i]);
    } else if (argument == "--bundle" && has_value) {
      bundle = fs::absolute(argv[++i]);
    } else if (argument == "--config" && has_value) {
      config = fs::absolute(argv[++i]);
    } else if (argument == "--runs" && has_value) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (argument == "--idle-seconds" && has_value) {
      idle_seconds = std::max(1, std::atoi(argv[++i]));
    } else if (argument == "--sample") {
      sample = true;
    } else {
      std::fprintf(stderr,
                   "usage: %s --app <tervala_app> --bundle <startup_bundle.so> --config "
                   "<nimbus-services.json> [--runs N] [--idle-seconds S] [--sample]\n",
                   argv[0]);
      return 2;
    }
  }
  if (app.empty() || bundle.empty() || config.empty()) {
    std::fprintf(stderr, "--app, --bundle and --config are required\n");
    return 2;
  }

  const fs::path folder = LayOut(app, bundle, config);
  const fs::path program = folder / "tervala_app";

  std::vector<double> entry, frame, reply, exit_time, peak, sample_exit, sample_peak;
  int failures = 0;
  for (int run = 0; run < runs; ++run) {
    Child child = Start(program, folder, {});
    const std::string output = ReadOutput(child, "");
    const long long ended = NowNanoseconds();
    int status = 0;
    const long peak_kib = Finish(child, &status);
    const auto steps = Steps(output);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !steps.count("reply")) {
      ++failures;
      std::fprintf(stderr, "run %d: status %d, output:\n%s", run, status, output.c_str());
      continue;
    }
    const auto since = [&](const char* step) { return (steps.at(step) - child.started) / 1e6; };
    entry.push_back(since("entry"));
    frame.push_back(since("frame"));
    reply.push_back(since("reply"));
    exit_time.push_back((ended - child.started) / 1e6);
    peak.push_back(peak_kib / 1024.0);
  }

  if (sample) {
    // The program as built, with its own bundle, closing once the sample has its answers.
    for (int run = 0; run < runs; ++run) {
      Child child = Start(app, folder, {"--exit-when-ready"});
      ReadOutput(child, "");
      const long long ended = NowNanoseconds();
      int status = 0;
      const long peak_kib = Finish(child, &status);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ++failures;
        std::fprintf(stderr, "sample run %d: status %d\n", run, status);
        continue;
      }
      sample_exit.push_back((ended - child.started) / 1e6);
      sample_peak.push_back(peak_kib / 1024.0);
    }
  }

  std::printf("tervala_app start-up, headless, %d runs (%d failed)\n", runs, failures);
  std::printf("%-34s %10s %10s %10s\n", "since exec", "median", "min", "max");
  PrintRow("bundle entry point", entry, "ms");
  PrintRow("first frame submitted", frame, "ms");
  PrintRow("initializeCore reply", reply, "ms");
  PrintRow("exit (after request_close)", exit_time, "ms");
  PrintRow("peak resident memory", peak, "MiB");
  if (sample) {
    PrintRow("sample app: exit when ready", sample_exit, "ms");
    PrintRow("sample app: peak resident memory", sample_peak, "MiB");
  }

  // Idle: after start-up, nothing should run.
  const auto measure_idle = [&](const char* name, Child idle) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const int threads = ThreadCount(idle.pid);
    const Usage before = ReadUsage(idle.pid);
    std::this_thread::sleep_for(std::chrono::seconds(idle_seconds));
    const Usage after = ReadUsage(idle.pid);
    kill(idle.pid, SIGTERM);
    Finish(idle);
    const double tick_ms = 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    std::printf(
        "%s idle for %d s (%d threads): CPU time %.0f ms (tick %.0f ms), "
        "%lld context switches\n",
        name, idle_seconds, threads, static_cast<double>(after.ticks - before.ticks) * tick_ms,
        tick_ms, after.switches - before.switches);
  };
  std::printf("\n");
  Child idle = Start(program, folder, {"--stay"});
  ReadOutput(idle, "startup reply");
  measure_idle("start-up bundle:", idle);
  if (sample) {
    // The sample has its answers well within the settling second.
    measure_idle("sample app:     ", Start(app, folder, {}));
  }

  fs::remove_all(folder);
  return failures == 0 ? 0 : 1;
}
