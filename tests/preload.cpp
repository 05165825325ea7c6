// Preloaded into the programs under test, and so into the children forking
// makes (copies, which keep its state); the shell commands the programs run
// start without it. Its settings are read once, before main, and all but
// CT_RECORD_LOG, which the stand-ins write to as well, are then taken out of
// the environment. "The notepad folder" is the tests' one, "notes/".
//
//   CT_RECORD_LOG=file   each sleep returns at once and is appended to file as "<pid> sleep <seconds>";
//                        so is "<pid> unflushed <bytes>" where the program sleeps, reads standard input
//                        anew or runs a command with output still in the C library's buffer (not out)
//   CT_FAKE_TIME=t       time() answers t
//   CT_CLOCK_STEP=s      with CT_FAKE_TIME: the clock moves, each time() answering s seconds later
//                        than the one before
//   CT_UMASK=027         the file-creation mask (octal), set before main
//   CT_PIPE_DELAY_MS=n   each write of a forked child to a pipe other than the standard streams waits
//                        n ms once done (the first process's writes do not wait)
//   CT_FAIL_NTH=kind:n   from main on, the n-th call of that kind (kinds[] below) fails with the kind's
//                        error, or with EINTR where ":EINTR" follows; calls on the standard descriptors
//                        and the library's own do not count
//   CT_SHORT_WRITES=n    each write beyond the standard descriptors takes at most n bytes
//   CT_KILL_IN_WRITE=n   the first write to the notepad folder sends the process signal n, then waits
//                        two seconds for it to act
//   CT_HOME=dir          getpwuid's home folder is dir, relative to the folder the program starts in;
//                        set but empty: getpwuid finds no user
//   CT_PLANT=fault       a fault planted in the program, which the tests' checks must catch (plants[])
//
// At exit it appends "<pid> calls <kind> <count>" for each kind of call on a file or of memory made from
// main on; at every wait and at exit, "<pid> changed signal <n>" for a signal whose disposition, "changed
// blocked <n>" for one whose blocking in the waiting thread is not as main began, and "changed open <fd>"
// ("changed pipe <fd>" for a pipe the program made) for a descriptor open then that was not.
#include "frame.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <stdio_ext.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// The calls counted, by kind; a failure gives EIO, but for a write (ENOSPC),
// an allocation (ENOMEM), a pipe (EMFILE), a fork or a thread (EAGAIN).
// clang-format off
enum Kind { Open, Read, Write, Seek, Stat, Trunc, Chmod, Sync, Close, Dup, Lock, Unlink, Groups, Alloc, Pipe,
            Fork, Thread };
// clang-format on
constexpr int Kinds = Thread + 1;
const char *const kinds[Kinds] = {"open",      "read",  "write", "lseek", "stat",  "ftruncate",
                                  "fchmod",    "fsync", "close", "dup",   "flock", "unlink",
                                  "getgroups", "alloc", "pipe",  "fork",  "thread"};

// The faults CT_PLANT plants for the tests' checks to catch: output held back at a sleep; the clock read
// twice; from main on, a descriptor left open, a signal ignored or blocked; a failed write that says all
// went out; a failed allocation that crashes; an interrupted call that fails; at exit, an attribute added
// to the note. Any other: a shell command run at exit.
enum Plant { None, Unflushed, Clock, Descriptor, Ignored, Blocked, Lost, Crash, Interrupted, Attribute };
constexpr int Plants = Attribute + 1;
const char *const plants[Plants] = {"",        "unflushed",  "clock", "descriptor",  "ignored",
                                    "blocked", "lost-write", "crash", "interrupted", "attribute"};

// The settings as read before main; until then, and where one is not set,
// the calls behave as the C library's.
struct {
    char record_log[4096] = ""; // "": sleeps are not logged
    bool fake_time = false;
    time_t time = 0; // what time() answers next
    long clock_step = 0;
    long pipe_delay_ms = 0;
    int nth_kind = Kinds; // Kinds: none fails
    long nth = 0;
    bool interrupt = false;
    long short_writes = 0;
    long kill_in_write = 0;
    bool fake_user = false; // CT_HOME is set
    int plant = None;
    char plant_at_exit[256] = "";
} settings;

// What the settings have done so far in this process (a forked child starts
// with its parent's count).
bool killed_in_write = false;
bool forked_child = false; // this process is a child a fork here made
bool piped[1024];          // the descriptors of the pipes the program made
// The user getpwuid describes under CT_HOME: its home folder is home.
char home[4096];
passwd user;
// The calls of each kind the program made, from main on (on a thread, from its start routine on: counting),
// but the library's own (own).
long calls[Kinds];
thread_local bool counting __attribute__((tls_model("initial-exec"))) = false;
int own = 0;
// The process's state: each signal's handler, the signals the thread blocks, the descriptors open.
struct State {
    void (*handlers[NSIG])(int);
    sigset_t blocked;
    bool open[1024];
} start;

// The next function of that name after ours: the C library's (or the
// sanitizers' in front of it).
template <typename Fn> Fn real_fn(const char *name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

// The next function after ours, fn, of the name ours has here (open64 where the headers rename it).
template <typename Fn> Fn next_of(Fn fn)
{
    Dl_info self{};
    dladdr(reinterpret_cast<void *>(fn), &self);
    return real_fn<Fn>(self.dli_sname);
}
#define NEXT(fn)                                                                                             \
    [] {                                                                                                     \
        static const auto next = next_of(&fn);                                                               \
        return next;                                                                                         \
    }()

// Counts a call of the program's but on a standard descriptor; true where CT_FAIL_NTH fails it (errno set).
bool fails(Kind kind, int fd = 3)
{
    if (!counting || own > 0 || fd <= 2 ||
        __atomic_add_fetch(&calls[kind], 1, __ATOMIC_RELAXED) != settings.nth || kind != settings.nth_kind) {
        return false;
    }
    errno = settings.interrupt && settings.plant != Interrupted ? EINTR
            : kind == Write                                     ? ENOSPC
            : kind == Alloc                                     ? ENOMEM
            : kind == Pipe                                      ? EMFILE
            : kind >= Fork                                      ? EAGAIN
                                                                : EIO;
    return true;
}

void record(const char *what, unsigned long amount)
{
    if (settings.record_log[0] == '\0') {
        return;
    }
    ++own;
    char line[64];
    const int length =
        std::snprintf(line, sizeof line, "%d %s %lu\n", static_cast<int>(getpid()), what, amount);
    const int fd = open(settings.record_log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        unexamined(write(fd, line, static_cast<size_t>(length))); // a lost line shows as a missing event
        close(fd);
    }
    --own;
}

// The state as the calling thread sees it: taken as main begins, and later each change since recorded.
void check_state(bool begin = false)
{
    static State now;
    State &state = begin ? start : now;
    for (int sig = 1; sig < NSIG; ++sig) {
        struct sigaction action {};
        sigaction(sig, nullptr, &action);
        state.handlers[sig] = action.sa_handler;
    }
    pthread_sigmask(SIG_BLOCK, nullptr, &state.blocked);
    std::ranges::fill(state.open, false);
    if (DIR *fds = opendir("/proc/self/fd")) {
        for (const dirent *entry = nullptr; (entry = readdir(fds)) != nullptr;) {
            const long fd = std::strtol(entry->d_name, nullptr, 10);
            state.open[fd] = state.open[fd] || (entry->d_name[0] != '.' && fd != dirfd(fds) && fd < 1024);
        }
        closedir(fds);
    }
    for (int n = 1; n < 1024 && !begin; ++n) {
        const auto each = static_cast<unsigned long>(n);
        if (n < NSIG && now.handlers[n] != start.handlers[n]) {
            record("changed signal", each);
        }
        if (n < NSIG && sigismember(&now.blocked, n) != sigismember(&start.blocked, n)) {
            record("changed blocked", each);
        }
        if (now.open[n] && !start.open[n]) {
            record(piped[n] ? "changed pipe" : "changed open", each);
        }
    }
}

// Called where the program waits (a sleep, a read of standard input that
// finds none buffered) or runs a command (which may clear the screen or close
// the window): what it printed must be out by then, as the user at a
// terminal or behind a pipe is to see it, and its state as main began.
void expect_flushed(bool waits = true)
{
    if (waits && counting) {
        if (const std::size_t pending = __fpending(stdout); pending > 0) {
            record("unflushed", pending);
        }
        check_state();
    }
}

// At exit: the state, the fault planted there, and the calls on a file or of memory counted (the ones to
// fail in the replays: the sanitizers' runtime makes pipes of its own).
void at_exit()
{
    check_state();
    ++own;
    unexamined(settings.plant_at_exit[0] != '\0' && NEXT(system)(settings.plant_at_exit) == 0);
    unexamined(settings.plant == Attribute &&
               setxattr("notes/notepadfile.txt", "user.planted", "1", 1, 0) == 0);
    --own;
    for (int kind = 0; kind < Pipe; ++kind) {
        if (calls[kind] > 0) {
            char what[32];
            std::snprintf(what, sizeof what, "calls %s", kinds[kind]);
            record(what, static_cast<unsigned long>(calls[kind]));
        }
    }
}

long number(const char *value, int base = 10)
{
    return std::strtol(value, nullptr, base);
}

void read_settings()
{
    if (const char *log = std::getenv("CT_RECORD_LOG")) {
        std::snprintf(settings.record_log, sizeof settings.record_log, "%s", log);
    }
    if (const char *fixed = std::getenv("CT_FAKE_TIME")) {
        settings.fake_time = true;
        settings.time = static_cast<time_t>(std::strtoll(fixed, nullptr, 10));
    }
    if (const char *mask = std::getenv("CT_UMASK")) {
        umask(static_cast<mode_t>(number(mask, 8)));
    }
    const std::pair<const char *, long *> numbers[] = {{"CT_CLOCK_STEP", &settings.clock_step},
                                                       {"CT_PIPE_DELAY_MS", &settings.pipe_delay_ms},
                                                       {"CT_SHORT_WRITES", &settings.short_writes},
                                                       {"CT_KILL_IN_WRITE", &settings.kill_in_write}};
    for (const auto &[name, value] : numbers) {
        if (const char *text = std::getenv(name)) {
            *value = number(text);
        }
    }
    char kind[16] = "", how[8] = "";
    if (const char *nth = std::getenv("CT_FAIL_NTH")) {
        std::sscanf(nth, "%15[^:]:%ld:%7s", kind, &settings.nth, how);
        settings.nth_kind = static_cast<int>(std::ranges::find(kinds, std::string_view(kind)) - kinds);
        settings.interrupt = std::strcmp(how, "EINTR") == 0;
    }
    if (const char *plant = std::getenv("CT_PLANT")) {
        settings.plant = static_cast<int>(std::ranges::find(plants, std::string_view(plant)) - plants);
        std::snprintf(settings.plant_at_exit, sizeof settings.plant_at_exit, "%s",
                      settings.plant == Plants ? plant : "");
    }
    if (const char *dir = std::getenv("CT_HOME")) {
        settings.fake_user = true;
        char here[2048];
        if (dir[0] != '\0' && getcwd(here, sizeof here) != nullptr) {
            std::snprintf(home, sizeof home, "%s/%s", here, dir);
            char *const sh = const_cast<char *>("/bin/sh"), *const none = const_cast<char *>("");
            user = {const_cast<char *>("tester"), none, getuid(), getgid(), none, home, sh};
        }
    }
}

int (*program_main)(int, char **, char **);

// The program's main, once its state is taken and the count begun (and a fault planted there).
int counted_main(int argc, char **argv, char **envp)
{
    check_state(true);
    std::atexit(at_exit);
    counting = true;
    sigset_t all;
    sigfillset(&all);
    unexamined(settings.plant == Descriptor && open("/dev/null", O_RDONLY) >= 0);
    unexamined(settings.plant == Ignored && signal(SIGUSR1, SIG_IGN) != SIG_ERR);
    unexamined(settings.plant == Blocked && pthread_sigmask(SIG_BLOCK, &all, nullptr) == 0);
    return program_main(argc, argv, envp);
}

// The start routine of the thread made last (the programs make one at most), begun once its count is.
void *(*thread_start)(void *) = nullptr;

void *counted_start(void *arg)
{
    counting = true;
    return thread_start(arg);
}

// A failed allocation: none, or a crash where one is planted.
void *no_memory()
{
    if (settings.plant == Crash) {
        std::abort();
    }
    return nullptr;
}

} // namespace

// A call that fails where CT_FAIL_NTH says (its kind, on descriptor fd), else the C library's.
#define FAILING(R, name, kind, fd, params, args)                                                             \
    R name params                                                                                            \
    {                                                                                                        \
        return fails(kind, fd) ? -1 : NEXT(name) args;                                                       \
    }

extern "C" {

__attribute__((constructor)) void set_up()
{
    read_settings();
    // The shell commands the program runs start without this library (they
    // may not even be of its architecture, when the program runs under an
    // emulator) and without its settings, but for the log the stand-ins
    // write to.
    for (const char *name : {"LD_PRELOAD", "CT_FAKE_TIME", "CT_CLOCK_STEP", "CT_UMASK", "CT_PIPE_DELAY_MS",
                             "CT_FAIL_NTH", "CT_SHORT_WRITES", "CT_KILL_IN_WRITE", "CT_HOME", "CT_PLANT"}) {
        unsetenv(name);
    }
}

int __libc_start_main(int (*main)(int, char **, char **), int argc, char **argv, void (*init)(),
                      void (*fini)(), void (*rtld_fini)(), void *stack_end)
{
    program_main = main;
    return NEXT(__libc_start_main)(counted_main, argc, argv, init, fini, rtld_fini, stack_end);
}

void *malloc(size_t size)
{
    return fails(Alloc) ? no_memory() : NEXT(malloc)(size);
}

void *realloc(void *block, size_t size)
{
    return fails(Alloc) ? no_memory() : NEXT(realloc)(block, size);
}

unsigned int sleep(unsigned int seconds)
{
    std::fputs(settings.plant == Unflushed ? "held back" : "", stdout);
    expect_flushed();
    record("sleep", seconds);
    return 0;
}

time_t time(time_t *result)
{
    time_t now = __atomic_fetch_add(&settings.time, settings.clock_step, __ATOMIC_RELAXED);
    if (settings.plant == Clock) {
        now = __atomic_fetch_add(&settings.time, settings.clock_step, __ATOMIC_RELAXED);
    }
    if (!settings.fake_time) {
        timespec real{};
        clock_gettime(CLOCK_REALTIME, &real);
        now = real.tv_sec;
    }
    if (result != nullptr) {
        *result = now;
    }
    return now;
}

passwd *getpwuid(uid_t uid)
{
    if (settings.fake_user) {
        return uid == getuid() && home[0] != '\0' ? &user : nullptr;
    }
    return NEXT(getpwuid)(uid);
}

int pipe(int fds[2])
{
    const int made = fails(Pipe) ? -1 : NEXT(pipe)(fds);
    piped[std::clamp(fds[0], 0, 1023)] = piped[std::clamp(fds[1], 0, 1023)] = made == 0;
    return made;
}

int pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*routine)(void *), void *arg)
{
    if (fails(Thread)) {
        return errno;
    }
    thread_start = routine;
    return NEXT(pthread_create)(thread, attr, counted_start, arg);
}

int open(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
    va_end(args);
    return fails(Open) ? -1 : NEXT(open)(path, flags, mode);
}

FILE *fopen64(const char *path, const char *mode)
{
    return fails(Open) ? nullptr : NEXT(fopen64)(path, mode);
}

int getc(FILE *stream)
{
    expect_flushed(stream == stdin && stream->_IO_read_ptr >= stream->_IO_read_end); // none buffered
    return NEXT(getc)(stream);
}

size_t fread(void *data, size_t size, size_t count, FILE *stream)
{
    expect_flushed(stream == stdin && stream->_IO_read_ptr >= stream->_IO_read_end); // none buffered
    return NEXT(fread)(data, size, count, stream);
}

int system(const char *command)
{
    expect_flushed();
    return NEXT(system)(command);
}

ssize_t read(int fd, void *data, size_t size)
{
    expect_flushed(fd == 0);
    return fails(Read, fd) ? -1 : NEXT(read)(fd, data, size);
}

ssize_t write(int fd, const void *data, size_t size)
{
    char link[32], path[4096] = "";
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    if (settings.kill_in_write != 0 && !killed_in_write && readlink(link, path, sizeof path - 1) > 0 &&
        std::strstr(path, "/notes/") != nullptr) {
        killed_in_write = true;
        kill(getpid(), static_cast<int>(settings.kill_in_write));
        const timespec wait{2, 0};
        nanosleep(&wait, nullptr);
    }
    if (fails(Write, fd)) {
        return settings.plant == Lost ? static_cast<ssize_t>(size) : -1;
    }
    const bool short_write = settings.short_writes > 0 && counting && own == 0 && fd > 2;
    const ssize_t written = NEXT(write)(
        fd, data, short_write ? std::min(size, static_cast<size_t>(settings.short_writes)) : size);
    struct stat st {};
    if (settings.pipe_delay_ms > 0 && forked_child && fd > 2 && fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) {
        const timespec pause{settings.pipe_delay_ms / 1000, settings.pipe_delay_ms % 1000 * 1000000};
        nanosleep(&pause, nullptr);
    }
    return written;
}

pid_t fork()
{
    const pid_t pid = fails(Fork) ? -1 : NEXT(fork)();
    forked_child = forked_child || pid == 0;
    return pid;
}

// The descriptor (the stream) is gone either way, as after a real failed close.
int close(int fd)
{
    const bool failed = fails(Close, fd);
    const int closed = NEXT(close)(fd);
    return failed ? (errno = EIO, -1) : closed;
}

int fclose(FILE *stream)
{
    const bool failed = fails(Close, fileno(stream));
    const int closed = NEXT(fclose)(stream);
    return failed ? (errno = EIO, EOF) : closed;
}

#if __USE_FORTIFY_LEVEL > 0
FAILING(int, __open_2, Open, 3, (const char *path, int flags), (path, flags))
#endif
FAILING(off_t, lseek, Seek, fd, (int fd, off_t offset, int whence), (fd, offset, whence))
FAILING(int, stat, Stat, 3, (const char *path, struct stat *st), (path, st))
FAILING(int, fstat, Stat, fd, (int fd, struct stat *st), (fd, st))
FAILING(int, ftruncate, Trunc, fd, (int fd, off_t length), (fd, length))
FAILING(int, fchmod, Chmod, fd, (int fd, mode_t mode), (fd, mode))
FAILING(int, fsync, Sync, fd, (int fd), (fd))
FAILING(int, dup, Dup, fd, (int fd), (fd))
FAILING(int, flock, Lock, fd, (int fd, int operation), (fd, operation))
FAILING(int, unlink, Unlink, 3, (const char *path), (path))
FAILING(int, getgroups, Groups, 3, (int size, gid_t *groups), (size, groups))
}
