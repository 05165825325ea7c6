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
//   CT_NO_THREADS        set: no thread can be created
//   CT_NO_PIPES=n        the first n pipes cannot be made (only the first few count: the sanitizers'
//                        runtime makes pipes of its own later)
//   CT_FAIL_FORK=n       the n-th fork fails
//   CT_PIPE_DELAY_MS=n   each write of a forked child to a pipe other than the standard streams waits
//                        n ms once done (the first process's writes do not wait)
//   CT_FAIL=call         open (only where it may make a file: O_CREAT), write, fsync or close fails, with
//                        ENOSPC, for files in the notepad folder
//   CT_FAIL_ONCE         set: only the first call CT_FAIL names fails
//   CT_FAIL_AFTER=n      the first n bytes written to the notepad folder go through before a write fails
//   CT_KILL_IN_WRITE=n   the first write to the notepad folder sends the process signal n, then waits
//                        two seconds for it to act
//   CT_HOME=dir          getpwuid's home folder is dir, relative to the folder the program starts in;
//                        set but empty: getpwuid finds no user
#include "frame.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The settings as read before main; until then, and where one is not set,
// the calls behave as the C library's.
struct {
    char record_log[4096] = ""; // "": sleeps are not logged
    bool fake_time = false;
    time_t time = 0; // what time() answers next
    time_t clock_step = 0;
    bool no_threads = false;
    long no_pipes = 0;
    long fail_fork = 0;
    long pipe_delay_ms = 0;
    char fail[16] = ""; // the failing call's name; "": none
    bool fail_once = false;
    long long fail_after = 0;
    int kill_in_write = 0;
    bool fake_user = false; // CT_HOME is set
} settings;

// What the settings have done so far in this process (a forked child starts
// with its parent's count).
bool failed_once = false;
long pipes_refused = 0;
long forks = 0;
bool killed_in_write = false;
bool forked_child = false; // this process is a child a fork here made
long long let_through = 0;
// The user getpwuid describes under CT_HOME: its home folder is home.
char home[4096];
passwd user;

// The next function of that name after ours: the C library's (or the
// sanitizers' in front of it).
template <typename Fn> Fn real_fn(const char *name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

void record(const char *what, unsigned long amount)
{
    if (settings.record_log[0] == '\0') {
        return;
    }
    char line[64];
    const int length =
        std::snprintf(line, sizeof line, "%d %s %lu\n", static_cast<int>(getpid()), what, amount);
    const int fd = open(settings.record_log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        unexamined(write(fd, line, static_cast<size_t>(length))); // a lost line shows as a missing event
        close(fd);
    }
}

bool in_notes(const char *path)
{
    return path != nullptr &&
           (std::strncmp(path, "notes/", 6) == 0 || std::strstr(path, "/notes/") != nullptr);
}

bool fd_in_notes(int fd)
{
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[4096];
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length < 0) {
        return false;
    }
    path[length] = '\0';
    return in_notes(path);
}

// True when CT_FAIL names this call (and, with CT_FAIL_ONCE, none failed yet).
bool failing(const char *call)
{
    return std::strcmp(settings.fail, call) == 0 && !(failed_once && settings.fail_once);
}

// A failed call's result: -1, with errno ENOSPC.
int fail()
{
    errno = ENOSPC;
    failed_once = true;
    return -1;
}

// Called where the program waits (a sleep, a read of standard input that
// finds none buffered) or runs a command (which may clear the screen or close
// the window): what it printed must be out by then, as the user at a
// terminal or behind a pipe is to see it.
void expect_flushed(bool waits = true)
{
    if (const std::size_t pending = __fpending(stdout); waits && pending > 0) {
        record("unflushed", pending);
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
    if (const char *step = std::getenv("CT_CLOCK_STEP")) {
        settings.clock_step = static_cast<time_t>(std::strtoll(step, nullptr, 10));
    }
    if (const char *mask = std::getenv("CT_UMASK")) {
        umask(static_cast<mode_t>(number(mask, 8)));
    }
    settings.no_threads = std::getenv("CT_NO_THREADS") != nullptr;
    if (const char *count = std::getenv("CT_NO_PIPES")) {
        settings.no_pipes = number(count);
    }
    if (const char *nth = std::getenv("CT_FAIL_FORK")) {
        settings.fail_fork = number(nth);
    }
    if (const char *ms = std::getenv("CT_PIPE_DELAY_MS")) {
        settings.pipe_delay_ms = number(ms);
    }
    if (const char *call = std::getenv("CT_FAIL")) {
        std::snprintf(settings.fail, sizeof settings.fail, "%s", call);
    }
    settings.fail_once = std::getenv("CT_FAIL_ONCE") != nullptr;
    if (const char *bytes = std::getenv("CT_FAIL_AFTER")) {
        settings.fail_after = std::strtoll(bytes, nullptr, 10);
    }
    if (const char *signal = std::getenv("CT_KILL_IN_WRITE")) {
        settings.kill_in_write = static_cast<int>(number(signal));
    }
    if (const char *dir = std::getenv("CT_HOME")) {
        settings.fake_user = true;
        char here[2048];
        if (dir[0] != '\0' && getcwd(here, sizeof here) != nullptr) {
            std::snprintf(home, sizeof home, "%s/%s", here, dir);
            user.pw_name = const_cast<char *>("tester");
            user.pw_passwd = const_cast<char *>("x");
            user.pw_uid = getuid();
            user.pw_gid = getgid();
            user.pw_gecos = const_cast<char *>("");
            user.pw_dir = home;
            user.pw_shell = const_cast<char *>("/bin/sh");
        }
    }
}

} // namespace

extern "C" {

__attribute__((constructor)) void set_up()
{
    read_settings();
    // The shell commands the program runs start without this library (they
    // may not even be of its architecture, when the program runs under an
    // emulator) and without its settings, but for the log the stand-ins
    // write to.
    for (const char *name : {"LD_PRELOAD", "CT_FAKE_TIME", "CT_CLOCK_STEP", "CT_UMASK", "CT_NO_THREADS",
                             "CT_NO_PIPES", "CT_FAIL_FORK", "CT_PIPE_DELAY_MS", "CT_FAIL", "CT_FAIL_ONCE",
                             "CT_FAIL_AFTER", "CT_KILL_IN_WRITE", "CT_HOME"}) {
        unsetenv(name);
    }
}

unsigned int sleep(unsigned int seconds)
{
    expect_flushed();
    record("sleep", seconds);
    return 0;
}

time_t time(time_t *result)
{
    time_t now = __atomic_fetch_add(&settings.time, settings.clock_step, __ATOMIC_RELAXED);
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
    static const auto next = real_fn<passwd *(*)(uid_t)>("getpwuid");
    return next(uid);
}

int pipe(int fds[2])
{
    if (pipes_refused < settings.no_pipes) {
        ++pipes_refused;
        errno = EMFILE;
        return -1;
    }
    static const auto next = real_fn<int (*)(int *)>("pipe");
    return next(fds);
}

int pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*start)(void *), void *arg)
{
    if (settings.no_threads) {
        return EAGAIN;
    }
    static const auto next =
        real_fn<int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *)>("pthread_create");
    return next(thread, attr, start, arg);
}

int open(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
    va_end(args);
    if (failing("open") && (flags & O_CREAT) != 0 && in_notes(path)) {
        return fail();
    }
    // With 64-bit file offsets (a 32-bit system's build) the C library's
    // headers name this function open64, and so the call it stands for.
#if _FILE_OFFSET_BITS == 64
    static const auto next = real_fn<int (*)(const char *, int, ...)>("open64");
#else
    static const auto next = real_fn<int (*)(const char *, int, ...)>("open");
#endif
    return next(path, flags, mode);
}

int getc(FILE *stream)
{
    expect_flushed(stream == stdin && stream->_IO_read_ptr >= stream->_IO_read_end); // none buffered
    static const auto next = real_fn<int (*)(FILE *)>("getc");
    return next(stream);
}

size_t fread(void *data, size_t size, size_t count, FILE *stream)
{
    expect_flushed(stream == stdin && stream->_IO_read_ptr >= stream->_IO_read_end); // none buffered
    static const auto next = real_fn<size_t (*)(void *, size_t, size_t, FILE *)>("fread");
    return next(data, size, count, stream);
}

int system(const char *command)
{
    expect_flushed();
    static const auto next = real_fn<int (*)(const char *)>("system");
    return next(command);
}

ssize_t read(int fd, void *data, size_t size)
{
    expect_flushed(fd == 0);
    static const auto next = real_fn<ssize_t (*)(int, void *, size_t)>("read");
    return next(fd, data, size);
}

ssize_t write(int fd, const void *data, size_t size)
{
    static const auto next = real_fn<ssize_t (*)(int, const void *, size_t)>("write");
    if (settings.kill_in_write != 0 && !killed_in_write && fd_in_notes(fd)) {
        killed_in_write = true;
        kill(getpid(), settings.kill_in_write);
        const timespec wait{2, 0};
        nanosleep(&wait, nullptr);
    }
    if (failing("write") && fd_in_notes(fd)) {
        const long long left = settings.fail_after - let_through;
        if (left <= 0) {
            return fail();
        }
        const ssize_t through = next(fd, data, std::min(size, static_cast<size_t>(left)));
        let_through += through > 0 ? through : 0;
        return through;
    }
    const ssize_t written = next(fd, data, size);
    struct stat st {};
    if (settings.pipe_delay_ms > 0 && forked_child && fd > 2 && fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) {
        const timespec pause{settings.pipe_delay_ms / 1000, settings.pipe_delay_ms % 1000 * 1000000};
        nanosleep(&pause, nullptr);
    }
    return written;
}

pid_t fork()
{
    if (++forks == settings.fail_fork) {
        errno = EAGAIN;
        return -1;
    }
    static const auto next = real_fn<pid_t (*)()>("fork");
    const pid_t pid = next();
    forked_child = forked_child || pid == 0;
    return pid;
}

int fsync(int fd)
{
    if (failing("fsync") && fd_in_notes(fd)) {
        return fail();
    }
    static const auto next = real_fn<int (*)(int)>("fsync");
    return next(fd);
}

// The descriptor is gone either way, as after a real failed close.
int close(int fd)
{
    const bool fails = failing("close") && fd_in_notes(fd);
    static const auto next = real_fn<int (*)(int)>("close");
    const int closed = next(fd);
    return fails ? fail() : closed;
}
}
