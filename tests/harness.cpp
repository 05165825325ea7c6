#include "harness.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <utility>

namespace harness {

namespace {

using clock = std::chrono::steady_clock;

void set_nonblocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// The environment of a program under test: none of ours but the way to the
// emulator's libraries, with the stand-ins first on PATH, the preload
// library loaded and its log in the run's folder (and for the installed
// note, a home folder whose notepad file is the tests' own); then extra.
std::vector<std::string> environment(const fs::path &path, const fs::path &dir,
                                     const std::vector<std::string> &extra)
{
    std::map<std::string, std::string> vars = {
        {"PATH", std::string(STAND_IN_DIR) + ":/usr/local/bin:/usr/bin:/bin"},
        {"LD_PRELOAD", PRELOAD_LIBRARY},
        {"CT_RECORD_LOG", (dir / "record.log").string()},
        {"ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=1"},
    };
    if (const char *prefix = std::getenv("QEMU_LD_PREFIX")) {
        vars["QEMU_LD_PREFIX"] = prefix;
    }
    if (path.filename() == "note") { // the installed note's ~/notepadfile.txt: notes/notepadfile.txt
        vars["CT_HOME"] = "notes";
    }
    for (const auto &entry : extra) {
        const auto eq = entry.find('=');
        vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    std::vector<std::string> env;
    for (const auto &[name, value] : vars) {
        env.push_back(name + "=" + value);
    }
    return env;
}

} // namespace

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "console-tests-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::vector<std::string> Result::whats() const
{
    std::vector<std::string> list;
    for (const auto &e : events) {
        list.push_back(e.what);
    }
    return list;
}

std::string program(const std::string &name)
{
    // Installed programs under test (INSTALLED_PROGRAMS, their paths): the
    // installed note stands in for the tests' own.
    const std::string installed_name = name.starts_with("note-") ? "note" : name;
    std::istringstream installed(INSTALLED_PROGRAMS);
    for (std::string path; installed >> path;) {
        if (fs::path(path).filename() == installed_name) {
            return path;
        }
    }
    return std::string(name == "note-tmp" ? TEST_PROGRAM_DIR : PROGRAM_DIR) + "/" + name;
}

std::vector<std::string> programs()
{
    std::vector<std::string> names;
    std::istringstream list(PROGRAMS);
    for (std::string name; list >> name;) {
        names.push_back(name == "note" ? "note-tmp" : name);
    }
    return names;
}

bool can_adopt()
{
    static const bool adopted = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    return adopted;
}

namespace {

// The unprivileged user's ids, looked up once: the suite's own, or nobody's
// when the suite runs as root.
std::pair<uid_t, gid_t> unprivileged()
{
    static const std::pair<uid_t, gid_t> ids = [] {
        if (geteuid() != 0) {
            return std::pair(geteuid(), getegid());
        }
        const passwd *nobody = getpwnam("nobody");
        return nobody != nullptr ? std::pair(nobody->pw_uid, nobody->pw_gid)
                                 : std::pair<uid_t, gid_t>(65534, 65534);
    }();
    return ids;
}

} // namespace

uid_t user_id()
{
    return unprivileged().first;
}

gid_t group_id()
{
    return unprivileged().second;
}

namespace {

// True when holds() does in a child process, which may change its user or limits.
bool in_child(const std::function<bool()> &holds)
{
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(holds() ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

bool user_reaches_programs()
{
    static const bool reaches =
        geteuid() != 0 || in_child([] {
            const gid_t group = group_id();
            return setgroups(1, &group) == 0 && setgid(group) == 0 && setuid(user_id()) == 0 &&
                   access(program("note-tmp").c_str(), X_OK) == 0 && access(PRELOAD_LIBRARY, R_OK) == 0;
        });
    return reaches;
}

std::vector<std::string> sorted_lines(const std::string &out)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < out.size();) {
        const std::size_t line_end = std::min(out.find('\n', at), out.size() - 1) + 1;
        const std::size_t clear = out.find(cleared, at);
        const std::size_t end =
            std::min(line_end, clear == std::string::npos ? line_end : clear + cleared.size());
        lines.push_back(out.substr(at, end - at));
        at = end;
    }
    std::ranges::sort(lines);
    return lines;
}

std::string slurp(const fs::path &file)
{
    if (fs::is_directory(file)) {
        std::vector<std::string> entries;
        for (const auto &entry : fs::directory_iterator(file)) {
            std::string line = entry.path().filename().string();
            if (entry.is_symlink()) {
                line += " -> " + fs::read_symlink(entry.path()).string();
            } else {
                char mode[8];
                std::snprintf(mode, sizeof mode, " %04o",
                              static_cast<unsigned>(entry.symlink_status().permissions()));
                line += mode;
            }
            entries.push_back(line + "\n");
        }
        std::ranges::sort(entries);
        std::string listing;
        for (const auto &line : entries) {
            listing += line;
        }
        return listing;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return "<missing>";
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Session::Session(const std::string &name, const fs::path &dir, const Launch &launch) : dir_(dir)
{
    result_.dir = dir;
    signal(SIGPIPE, SIG_IGN);
    can_adopt();
    // With standard input, output or error closed (as under some CI), a pipe
    // below could take their place and be lost to the program.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0) {
            open("/dev/null", O_RDWR);
        }
    }
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    const std::string path = program(name);
    std::vector<std::string> vars = environment(path, dir, launch.env);
    // Without the preload library, a program given a home folder of its own
    // (a row's, or the installed note's) would write in the real one.
    if (std::ranges::any_of(vars, [](const std::string &v) { return v.starts_with("CT_HOME="); }) &&
        !preload_works()) {
        throw std::runtime_error("the preload library is not loaded into the programs");
    }
    const bool drop = launch.as_user && geteuid() == 0;
    // Looked up here: between fork and exec a child may call only what is
    // safe in a copy of a process whose other threads are gone.
    const uid_t user = user_id();
    const gid_t group = group_id();
    if (drop && chown(dir.c_str(), user, group) != 0) {
        throw std::runtime_error("chown");
    }
    std::vector<char *> envp;
    for (auto &v : vars) {
        envp.push_back(v.data());
    }
    envp.push_back(nullptr);

    pid_ = fork();
    if (pid_ < 0) {
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
            close(fd);
        }
        throw std::runtime_error("fork");
    }
    if (pid_ == 0) {
        setpgid(0, 0); // one group for the program and all it forks
        // No signal ignored or blocked (whatever the tests had) but the one the launch ignores.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int sig = 1; sig < NSIG; ++sig) {
            signal(sig, sig == launch.ignored ? SIG_IGN : SIG_DFL);
        }
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        const rlimit memory{launch.memory, launch.memory};
        const rlimit file_size{launch.file_size, launch.file_size};
        const bool ready = chdir(dir.c_str()) == 0 &&
                           (launch.input_file.empty() ||
                            dup2(open(launch.input_file.c_str(), O_RDONLY | O_CLOEXEC), 0) == 0) &&
                           (launch.memory == 0 || setrlimit(RLIMIT_AS, &memory) == 0) &&
                           (launch.file_size == 0 || setrlimit(RLIMIT_FSIZE, &file_size) == 0) &&
                           (!drop || (setgroups(1, &group) == 0 && setgid(group) == 0 && setuid(user) == 0));
        if (launch.closed >= 0) {
            close(launch.closed);
        }
        if (ready) {
            char *argv[] = {const_cast<char *>(path.c_str()), nullptr};
            execve(path.c_str(), argv, envp.data());
        }
        _exit(127);
    }
    setpgid(pid_, pid_);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    in_ = in[1];
    out_ = out[0];
    err_ = err[0];
    set_nonblocking(in_);
    set_nonblocking(out_);
    set_nonblocking(err_);
}

Session::~Session()
{
    if (!reaped_) {
        kill(-pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        while (waitpid(-pid_, nullptr, 0) > 0) { // the processes it left behind
        }
    }
    for (int fd : {in_, out_, err_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void Session::pump(clock::time_point until, const std::function<bool()> &done)
{
    while (!done()) {
        pollfd fds[3] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}, {in_, POLLOUT, 0}};
        if (out_ < 0) fds[0].fd = -1;
        if (err_ < 0) fds[1].fd = -1;
        if (in_ < 0 || pending_.empty()) fds[2].fd = -1;
        const auto left = std::chrono::duration_cast<milliseconds>(until - clock::now()).count();
        if (left <= 0 || (fds[0].fd < 0 && fds[1].fd < 0 && fds[2].fd < 0)) {
            return;
        }
        if (poll(fds, 3, static_cast<int>(left)) < 0 && errno != EINTR) {
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && fds[i].revents != 0) {
                char buffer[65536];
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    (i == 0 ? result_.out : result_.err).append(buffer, static_cast<size_t>(n));
                } else if (n == 0 || errno != EAGAIN) {
                    close(fds[i].fd);
                    (i == 0 ? out_ : err_) = -1;
                }
            }
        }
        if (fds[2].fd >= 0 && fds[2].revents != 0) {
            const ssize_t n = write(in_, pending_.data(), pending_.size());
            if (n > 0) {
                pending_.erase(0, static_cast<size_t>(n));
            } else if (errno != EAGAIN) {
                pending_.clear(); // the program no longer reads
            }
        }
    }
}

void Session::send(const std::string &input)
{
    pending_ += input; // written while the session waits for anything
}

bool Session::expect(const std::string &text, milliseconds deadline)
{
    const auto ends_with = [&] { return result_.out.ends_with(text); };
    pump(clock::now() + deadline, ends_with);
    return ends_with();
}

bool Session::still_running(milliseconds wait)
{
    pump(clock::now() + wait, [&] { return out_ < 0 && err_ < 0; });
    return out_ >= 0 || err_ >= 0;
}

Result Session::finish(milliseconds deadline)
{
    const auto until = clock::now() + deadline;
    pump(until, [&] { return pending_.empty(); });
    if (in_ >= 0) {
        close(in_);
        in_ = -1;
    }
    pump(until, [&] { return out_ < 0 && err_ < 0; });
    if (out_ >= 0 || err_ >= 0) {
        result_.timed_out = true;
        kill(-pid_, SIGKILL);
    }
    int status = 0;
    pid_t waited = 0;
    while ((waited = waitpid(pid_, &status, result_.timed_out ? 0 : WNOHANG)) == 0 ||
           (waited < 0 && errno == EINTR)) {
        if (clock::now() > until) {
            result_.timed_out = true;
            kill(-pid_, SIGKILL);
        } else {
            usleep(1000);
        }
    }
    reaped_ = true;
    if (waited != pid_) {
        throw std::runtime_error("waitpid");
    }
    result_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // The processes it left behind have closed their output too: they are
    // ending, if not ended.
    for (pid_t left = 0; (left = waitpid(-pid_, &status, WNOHANG)) >= 0;) {
        if (left > 0) {
            result_.orphans.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
        } else if (clock::now() > until) {
            result_.timed_out = true;
            kill(-pid_, SIGKILL);
        } else {
            usleep(1000);
        }
    }

    // A change of state at a wait is an event no row expects, but for a standard
    // descriptor the frame opens where it was closed, and forking's pipes.
    std::ifstream log(dir_ / "record.log");
    for (std::string line; std::getline(log, line);) {
        std::istringstream words(line.substr(line.find(' ') + 1));
        std::string what, kind;
        long count = 0;
        if (words >> what >> kind >> count && what == "calls") {
            result_.calls[kind] = count;
        } else if (!(what == "changed" && (kind == "pipe" || (kind == "open" && count <= 2)))) {
            result_.events.push_back({std::atoi(line.c_str()), line.substr(line.find(' ') + 1)});
        }
    }
    return result_;
}

Result run(const std::string &name, const std::string &input, const fs::path &dir,
           const std::vector<std::string> &env, int closed)
{
    Session session(name, dir, {.env = env, .closed = closed});
    session.send(input);
    return session.finish();
}

void PrintTo(const Case &c, std::ostream *os)
{
    constexpr std::size_t shown = 60;
    *os << c.program << " <<< " << testing::PrintToString(c.input.substr(0, shown))
        << (c.input.size() > shown ? "..." : "");
}

std::string case_name(const testing::TestParamInfo<Case> &info)
{
    return info.param.name;
}

namespace {

// What each process did, as one text each, e.g. "2;1;clear;8;" (sleeps by
// their seconds).
std::vector<std::string> per_process(const std::vector<Event> &events)
{
    std::map<pid_t, std::string> done;
    for (const auto &e : events) {
        done[e.pid] += (e.what.starts_with("sleep ") ? e.what.substr(6) : e.what) + ";";
    }
    std::vector<std::string> lists;
    for (const auto &[pid, list] : done) {
        lists.push_back(list);
    }
    std::ranges::sort(lists);
    return lists;
}

// True when an address space limit set here binds the program: qemu-user
// accepts one and applies none, since it would bind the emulator itself.
bool can_limit_memory()
{
    static const bool limits = in_child([] {
        const rlimit wanted{rlim_t{1} << 30, rlim_t{1} << 30};
        rlimit now{};
        return setrlimit(RLIMIT_AS, &wanted) == 0 && getrlimit(RLIMIT_AS, &now) == 0 &&
               now.rlim_max == wanted.rlim_max;
    });
    return limits;
}

bool sanitized()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
    return __has_feature(address_sanitizer);
#else
    return false;
#endif
}

} // namespace

// True when the preload library is loaded into the programs: a hold is then
// recorded.
bool preload_works()
{
    static const bool works = [] {
        TempDir dir;
        const auto whats = run("timer", "", dir.path(), {"CT_FAKE_TIME=0"}).whats();
        return std::ranges::find(whats, "sleep 8") != whats.end();
    }();
    return works;
}

namespace {

// An entry below one of the folders in a run's folder (where the programs
// read and write; the harness writes in the run's folder itself): all the
// entry carries, and what it holds (a file's content, a link's target).
struct Entry {
    std::string carries;
    std::string holds;
};

std::map<std::string, Entry> entries_below(const fs::path &dir)
{
    std::map<std::string, Entry> entries;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
        const fs::file_type type = it->symlink_status().type();
        if (it.depth() == 0 && type != fs::file_type::directory) {
            continue;
        }
        const std::string path = it->path().string();
        struct stat st {};
        lstat(path.c_str(), &st);
        std::ostringstream carries;
        carries << "mode " << std::oct << st.st_mode << std::dec << ", inode " << st.st_ino << ", owner "
                << st.st_uid << ", group " << st.st_gid << ", links " << st.st_nlink;
        std::string names(1 << 16, '\0'), value(1 << 16, '\0');
        const ssize_t listed = llistxattr(path.c_str(), names.data(), names.size());
        names.resize(static_cast<std::size_t>(std::max(listed, ssize_t{0})));
        std::vector<std::string> attributes;
        std::istringstream list(names);
        for (std::string name; std::getline(list, name, '\0');) {
            const ssize_t size = lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
            attributes.push_back(
                name + "=" + (size < 0 ? "<unreadable>" : value.substr(0, static_cast<std::size_t>(size))));
        }
        std::ranges::sort(attributes);
        for (const auto &attribute : attributes) {
            carries << ", " << testing::PrintToString(attribute);
        }
        const std::string holds = type == fs::file_type::regular   ? slurp(it->path())
                                  : type == fs::file_type::symlink ? fs::read_symlink(it->path()).string()
                                                                   : "";
        entries[it->path().lexically_relative(dir).string()] = {carries.str(), holds};
    }
    return entries;
}

// What note shows where a step of a save or a listing fails, from that text on.
const std::pair<std::string, std::string> failed_steps[] = {
    {"This content is saved in notepadfile.txt successfully!\n", "File error,File can't be written\n"},
    {"The content of File is below: \n", "File error,File doesn't Exists\n"}};
const std::string ruler = std::string(53, '_') + "\n";

// What a run of c with a failed call must give: c's own run (always, where
// the call was interrupted); or note's failure of that step and the folder as
// it was; or the listing a failed read ended, its last line ended; or the
// out-of-memory end after part of c's output and events, c's files all as
// they were or all as c leaves them.
Case as_failed(Case c, const Result &r, const std::vector<std::string> &faults)
{
    if (r.out == c.out || faults.back().ends_with(":EINTR")) {
        return c;
    }
    c.check = {};
    for (const auto &[from, instead] : failed_steps) {
        if (const auto at = c.out.find(from);
            at != std::string::npos && r.out == c.out.substr(0, at) + instead) {
            c.out = r.out;
            c.files.clear();
        }
    }
    const auto body = c.out.find(ruler);
    const std::string_view shown(r.out.data(), r.out.size() - (r.out.ends_with("\n") ? 1 : 0));
    if (body != std::string::npos && r.out.size() >= body + ruler.size() && r.out.ends_with("\n") &&
        (c.out.starts_with(r.out) || c.out.starts_with(shown))) {
        c.out = r.out;
    }
    if (r.status == 1 && c.out.starts_with(r.out)) {
        c.out = r.out;
        c.err = fs::path(program(c.program)).filename().string() + ": out of memory\n";
        c.status = 1;
        c.events.resize(std::min(c.events.size(), r.events.size()));
        if (!std::ranges::all_of(c.files,
                                 [&](const auto &f) { return slurp(r.dir / f.first) == f.second; })) {
            c.files.clear();
        }
    }
    return c;
}

// One run of a row, faults among its settings, and all it expects of it;
// none when its prepare skipped the row or failed.
std::optional<Result> check_run(const Case &row, const std::vector<std::string> &faults = {})
{
    TempDir dir;
    if (row.prepare) {
        row.prepare(dir.path());
        if (testing::Test::IsSkipped() || testing::Test::HasFatalFailure()) {
            return std::nullopt;
        }
    }
    const auto before = entries_below(dir.path());
    std::vector<std::string> env = row.env;
    env.insert(env.end(), faults.begin(), faults.end());
    Session session(row.program, dir.path(),
                    {.env = env,
                     .memory = row.memory,
                     .file_size = row.file_size,
                     .ignored = row.ignored,
                     .as_user = row.as_user,
                     .input_file = row.input_file});
    // Each line of input once out ends with its prompt; the rest at once.
    std::size_t sent = 0;
    for (const auto &wait : row.waits) {
        // (After a failed call a prompt may never come.)
        EXPECT_TRUE(session.expect(wait) || !faults.empty())
            << "not out before the next line of input: " << wait;
        const std::size_t line_end = row.input.find('\n', sent);
        const std::size_t next = line_end == std::string::npos ? row.input.size() : line_end + 1;
        session.send(row.input.substr(sent, next - sent));
        sent = next;
    }
    session.send(row.input.substr(sent));
    if (row.keep_open) {
        EXPECT_TRUE(session.expect(row.out)) << "the output did not come while the input was open";
    }
    const Result r = session.finish();
    const Case c = faults.empty() ? row : as_failed(row, r, faults);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, c.status);
    // Under qemu-user the emulator itself reports a signal that dumps core.
    const bool emulated = r.err.starts_with("qemu: uncaught target signal ");
    expect_same(emulated ? r.err.substr(r.err.find('\n') + 1) : r.err, c.err, "standard error");
    if (c.any_order) {
        EXPECT_EQ(sorted_lines(r.out), sorted_lines(c.out)) << r.out;
        std::vector<std::string> expected = c.events;
        std::ranges::sort(expected);
        EXPECT_EQ(per_process(r.events), expected);
        if (can_adopt()) {
            EXPECT_EQ(r.orphans, std::vector<int>(c.events.size() - 1, 0));
        }
    } else {
        expect_same(r.out, c.out, "standard output");
        EXPECT_EQ(r.whats(), c.events);
    }
    for (const auto &[file, content] : c.files) {
        expect_same(slurp(dir.path() / file), content, file);
    }
    // What the row does not say it changed is left as it was: every entry
    // below the folder's folders, with all it carries, and all it holds but
    // where the row names it in files (where it may also be new).
    auto after = entries_below(dir.path());
    for (const auto &[name, was] : before) {
        const auto now = after.extract(name);
        EXPECT_FALSE(now.empty()) << name << " is gone";
        if (!now.empty()) {
            EXPECT_EQ(now.mapped().carries, was.carries) << name;
            if (!c.files.contains(name)) {
                expect_same(now.mapped().holds, was.holds, name);
            }
        }
    }
    for (const auto &[name, entry] : after) {
        EXPECT_TRUE(c.files.contains(name)) << name << " was not there before the run";
    }
    if (c.check) {
        c.check(r);
    }
    return r;
}

// The row again with each call of its plain run failing in turn (CT_FAIL_NTH):
// each allocation, where the input is short (without memory it may be read a
// byte at a time); where it saves or shows a file it opened, each call on a
// file, also interrupted where it can be. Under an emulator, every fifth.
void replay(const Case &c, const Result &plain)
{
    static const long step = std::getenv("QEMU_LD_PREFIX") != nullptr ? 5 : 1;
    EXPECT_FALSE(plain.calls.empty()) << "the preload counted no call: there is nothing to replay";
    const bool files = plain.calls.contains("open") && std::ranges::any_of(failed_steps, [&](const auto &s) {
                           return c.out.find(s.first) != std::string::npos;
                       });
    for (const auto &[kind, count] : plain.calls) {
        for (long n = 1; n <= count && (kind == "alloc" ? c.input.size() <= 4096 : files); n += step) {
            for (const std::string how : {"", ":EINTR"}) {
                if (how.empty() || kind == "read" || kind == "write" || kind == "flock") {
                    const std::string fault = "CT_FAIL_NTH=" + kind + ":" + std::to_string(n) + how;
                    SCOPED_TRACE(fault);
                    check_run(c, {fault});
                }
            }
        }
    }
}

} // namespace

void check(const Case &c, const std::vector<std::string> &faults)
{
    if (c.memory != 0 && sanitized()) {
        GTEST_SKIP() << "a memory limit: the sanitizers reserve more address space than any limit leaves";
    }
    if (c.memory != 0 && !can_limit_memory()) {
        GTEST_SKIP() << "a memory limit: an address space limit does not take here (as under qemu-user)";
    }
    if (c.as_user && !user_reaches_programs()) {
        GTEST_SKIP() << "another user: user " << user_id()
                     << " cannot reach the programs in this build folder";
    }
    if (!faults.empty()) {
        check_run(c, faults);
        return;
    }
    // A row run many times: a race shows in some runs only.
    std::optional<Result> ran;
    for (int run = 1; run <= c.runs && !testing::Test::HasFailure(); ++run) {
        std::optional<testing::ScopedTrace> trace;
        if (c.runs > 1) {
            trace.emplace(__FILE__, __LINE__, "run " + std::to_string(run) + " of " + std::to_string(c.runs));
        }
        if (!(ran = check_run(c))) {
            return;
        }
    }
    // Not replayed: a row that makes a call fail, ends otherwise or runs often.
    const bool fails_itself =
        std::ranges::any_of(c.env, [](const auto &e) { return e.starts_with("CT_FAIL_NTH="); });
    if (c.runs == 1 && c.status == 0 && !c.keep_open && !fails_itself && !testing::Test::HasFailure()) {
        replay(c, *ran);
    }
    // All else checked: a failure above still fails the row.
    if (c.any_order && !can_adopt()) {
        GTEST_SKIP() << "the children's exit statuses, unseen: PR_SET_CHILD_SUBREAPER is refused here "
                        "(as under qemu-user); the rest of the row passed";
    }
}

void expect_same(const std::string &actual, const std::string &expected, const std::string &what)
{
    constexpr std::size_t shown = 4096;
    if (actual.size() <= shown && expected.size() <= shown) {
        EXPECT_EQ(actual, expected) << what;
        return;
    }
    if (actual == expected) {
        return;
    }
    // Long texts: where they part, not all of them.
    const auto [a, e] = std::ranges::mismatch(actual, expected);
    const auto at = static_cast<std::size_t>(a - actual.begin());
    const std::size_t from = at < 20 ? 0 : at - 20;
    ADD_FAILURE() << what << ": " << actual.size() << " bytes where " << expected.size()
                  << " were expected, first different at byte " << at << ":\n  got      "
                  << testing::PrintToString(actual.substr(from, 60)) << "\n  expected "
                  << testing::PrintToString(expected.substr(from, 60));
}

} // namespace harness
