// Preloaded into the programs under test; every setting it reads starts with
// CT_. Sleeps return at once and are written to the file named by
// CT_RECORD_LOG as "<pid> sleep <seconds>"; time() answers CT_FAKE_TIME when
// that is set; with CT_NO_THREADS set, no thread can be created, with
// CT_NO_PIPES=n the program's first n pipes cannot be made (only the first
// few: the sanitizers' runtime makes pipes of its own later), and with
// CT_FAIL_FORK=n its n-th fork fails. CT_PIPE_DELAY_MS=n makes every write to
// a pipe other than the standard streams wait n milliseconds after it is done.
// CT_UMASK=027 (octal) sets the file-creation mask before main. CT_FAIL=open,
// write, fsync, close, rename or access makes that call fail with ENOSPC
// (EACCES, EPERM or EEXIST with CT_FAIL_ERRNO naming one) for files in the
// tests' notepad folder, "notes/"; open fails only where it makes a new file
// (O_CREAT | O_EXCL). With CT_FAIL_ONCE set, only the first such call fails;
// CT_FAIL_AFTER=n lets the first n bytes written there through before a write
// fails. CT_KILL_IN_WRITE=n makes the first write there send the process
// signal n and give it two seconds to act. CT_HOME=dir makes getpwuid's home
// folder dir (relative to the folder the program starts in); set but empty,
// getpwuid finds no user. CT_PID=n makes getpid answer n.
#include "frame.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
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

// The next function of that name after ours: the C library's (or the
// sanitizers' in front of it).
template <typename Fn> Fn real_fn(const char *name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

// The process's own id, whatever CT_PID makes getpid answer.
pid_t real_pid()
{
    static const auto next = real_fn<pid_t (*)()>("getpid");
    return next();
}

void record(const char *what, unsigned long amount)
{
    const char *log = std::getenv("CT_RECORD_LOG");
    if (log == nullptr) {
        return;
    }
    char line[64];
    const int length =
        std::snprintf(line, sizeof line, "%d %s %lu\n", static_cast<int>(real_pid()), what, amount);
    const int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
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

bool failed_once = false;

// True when CT_FAIL names this call (and, with CT_FAIL_ONCE, none failed yet).
bool failing(const char *call)
{
    const char *name = std::getenv("CT_FAIL");
    return name != nullptr && std::strcmp(name, call) == 0 &&
           !(failed_once && std::getenv("CT_FAIL_ONCE") != nullptr);
}

// A failed call's result: -1, with errno ENOSPC or the one CT_FAIL_ERRNO names.
int fail()
{
    const char *code = std::getenv("CT_FAIL_ERRNO");
    errno = ENOSPC;
    if (code != nullptr && std::strcmp(code, "EACCES") == 0) {
        errno = EACCES;
    } else if (code != nullptr && std::strcmp(code, "EPERM") == 0) {
        errno = EPERM;
    } else if (code != nullptr && std::strcmp(code, "EEXIST") == 0) {
        errno = EEXIST;
    }
    failed_once = true;
    return -1;
}

// Settings for the program alone, not for the shell commands it runs: read
// once, then taken out of the environment.
long setting(const char *name)
{
    const char *value = std::getenv(name);
    const long number = value != nullptr ? std::strtol(value, nullptr, 10) : 0;
    unsetenv(name);
    return number;
}

long pipes_to_fail = 0;
long fork_to_fail = 0;
long pipe_delay_ms = 0;
long kill_in_write = 0;
long fake_pid = 0;
// Bytes a write may put in the notepad folder before CT_FAIL=write bites; -1:
// none.
long long writable = -1;
// The user getpwuid describes under CT_HOME: its home folder is home.
bool fake_user = false;
char home[4096];
passwd user;

} // namespace

extern "C" {

unsigned int sleep(unsigned int seconds)
{
    record("sleep", seconds);
    return 0;
}

time_t time(time_t *result)
{
    time_t now = 0;
    if (const char *fixed = std::getenv("CT_FAKE_TIME")) {
        now = static_cast<time_t>(std::strtoll(fixed, nullptr, 10));
    } else {
        timespec real{};
        clock_gettime(CLOCK_REALTIME, &real);
        now = real.tv_sec;
    }
    if (result != nullptr) {
        *result = now;
    }
    return now;
}

__attribute__((constructor)) void set_up()
{
    // Loaded into the program alone: the shell commands it runs start without
    // this library (they may not even be of its architecture, when the
    // program runs under an emulator); its forked children keep it, being
    // copies of it.
    unsetenv("LD_PRELOAD");
    pipes_to_fail = setting("CT_NO_PIPES");
    fork_to_fail = setting("CT_FAIL_FORK");
    pipe_delay_ms = setting("CT_PIPE_DELAY_MS");
    kill_in_write = setting("CT_KILL_IN_WRITE");
    fake_pid = setting("CT_PID");
    if (const char *after = std::getenv("CT_FAIL_AFTER")) {
        writable = std::strtoll(after, nullptr, 10);
    }
    if (const char *mask = std::getenv("CT_UMASK")) {
        umask(static_cast<mode_t>(std::strtol(mask, nullptr, 8)));
    }
    if (const char *dir = std::getenv("CT_HOME")) {
        fake_user = true;
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

passwd *getpwuid(uid_t uid)
{
    if (fake_user) {
        return uid == getuid() && home[0] != '\0' ? &user : nullptr;
    }
    static const auto next = real_fn<passwd *(*)(uid_t)>("getpwuid");
    return next(uid);
}

pid_t getpid()
{
    return fake_pid != 0 ? static_cast<pid_t>(fake_pid) : real_pid();
}

int pipe(int fds[2])
{
    if (pipes_to_fail > 0) {
        --pipes_to_fail;
        errno = EMFILE;
        return -1;
    }
    static const auto next = real_fn<int (*)(int *)>("pipe");
    return next(fds);
}

int pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*start)(void *), void *arg)
{
    if (std::getenv("CT_NO_THREADS") != nullptr) {
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
    if (failing("open") && (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL) && in_notes(path)) {
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

ssize_t write(int fd, const void *data, size_t size)
{
    static const auto next = real_fn<ssize_t (*)(int, const void *, size_t)>("write");
    if (kill_in_write != 0 && fd_in_notes(fd)) {
        kill(real_pid(), static_cast<int>(kill_in_write));
        kill_in_write = 0;
        const timespec wait{2, 0};
        nanosleep(&wait, nullptr);
    }
    if (failing("write") && fd_in_notes(fd)) {
        if (writable <= 0) {
            return fail();
        }
        const ssize_t through = next(fd, data, std::min(size, static_cast<size_t>(writable)));
        writable -= through > 0 ? through : 0;
        return through;
    }
    const ssize_t written = next(fd, data, size);
    struct stat st {};
    if (pipe_delay_ms > 0 && fd > 2 && fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) {
        const timespec pause{pipe_delay_ms / 1000, pipe_delay_ms % 1000 * 1000000};
        nanosleep(&pause, nullptr);
    }
    return written;
}

pid_t fork()
{
    static long forks = 0;
    if (++forks == fork_to_fail) {
        errno = EAGAIN;
        return -1;
    }
    static const auto next = real_fn<pid_t (*)()>("fork");
    return next();
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

int rename(const char *from, const char *to)
{
    if (failing("rename") && (in_notes(from) || in_notes(to))) {
        return fail();
    }
    static const auto next = real_fn<int (*)(const char *, const char *)>("rename");
    return next(from, to);
}

int access(const char *path, int how)
{
    if (failing("access") && in_notes(path)) {
        return fail();
    }
    static const auto next = real_fn<int (*)(const char *, int)>("access");
    return next(path, how);
}
}
