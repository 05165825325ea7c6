// note: writes one line of text to the notepad file, or shows a named text
// file line by line.
#include "frame.h"
#include "notepad_path.h"
#include "save.h"

#include <limits.h>
#include <pthread.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <string>

namespace {

const char *const notepad_path = NOTEPAD_PATH;

// Into file: the notepad file's path. A leading "~/" stands for the home
// folder of the user running note, as the password database gives it. False
// when that user has none there, or the path is too long.
bool notepad_file(char (&file)[PATH_MAX])
{
    const char *folder = "";
    const char *rest = notepad_path;
    if (std::strncmp(notepad_path, "~/", 2) == 0) {
        const passwd *user = getpwuid(getuid());
        if (user == nullptr || user->pw_dir == nullptr || user->pw_dir[0] == '\0') {
            return false;
        }
        folder = user->pw_dir;
        rest = notepad_path + (folder[std::strlen(folder) - 1] == '/' ? 2 : 1);
    }
    const int length = std::snprintf(file, sizeof file, "%s%s", folder, rest);
    return length >= 0 && static_cast<std::size_t>(length) < sizeof file;
}

void write_notepad()
{
    std::cin.get(); // the line end after the choice
    std::cout << "Enter what you want to write below: " << std::endl;
    std::string text;
    std::getline(std::cin, text);

    // A text cut short by a lack of memory or a read error is not saved; the
    // end of the input is where the text ends.
    const bool whole = !std::cin.bad() && std::ferror(stdin) == 0;
    char file[PATH_MAX];
    if (whole && notepad_file(file) && save(file, text)) {
        std::cout << "This content is saved in notepadfile.txt successfully!" << std::endl;
    } else {
        std::cout << "File error,File can't be written" << std::endl;
    }
}

void show_file()
{
    std::cout << "Enter Filename: ";
    std::cin.get(); // the line end after the choice
    std::string name;
    std::getline(std::cin, name);

    // Few, large reads of a big file; small ones when memory is short.
    std::size_t size = 1 << 18;
    const std::unique_ptr<char[]> buffers(new (std::nothrow) char[2 * size]);
    char small[2 * 4096];
    char *const buffer = buffers ? buffers.get() : small;
    if (!buffers) {
        size = sizeof small / 2;
    }
    char *const piece = buffer + size;
    std::ifstream file;
    file.rdbuf()->pubsetbuf(buffer, static_cast<std::streamsize>(size));
    // A name with a zero byte in it names no file (the open would stop there),
    // nor does one cut short by a lack of memory or a read error.
    if (name.find('\0') == std::string::npos && !std::cin.bad() && std::ferror(stdin) == 0) {
        file.open(name, std::ios::binary);
    }
    if (!file.is_open()) {
        std::cout << "File error,File doesn't Exists" << std::endl;
        return;
    }
    std::cout << "The content of File is below: " << std::endl;
    std::cout << "_____________________________________________________" << std::endl;
    // Every line is shown with its line end, a last line without one too.
    // The file goes out in the pieces it is read in: the same bytes as line by
    // line, in constant memory, at the speed of the disk, and what a pipe or a
    // terminal named as the file delivers shows as it comes.
    char last = '\n';
    while (file.peek() != std::ifstream::traits_type::eof()) {
        const std::streamsize got = file.readsome(piece, static_cast<std::streamsize>(size));
        std::cout.write(piece, got);
        std::cout.flush(); // out before the next read, which may wait
        last = piece[static_cast<std::size_t>(got) - 1];
    }
    if (last != '\n') {
        std::cout << '\n';
    }
    std::cout.flush();
    file.close();
}

void *notep(void *)
{
    const sigset_t ending = ending_signals();
    pthread_sigmask(SIG_UNBLOCK, &ending, nullptr);
    std::cout << "Press 1 for write in File" << std::endl;
    std::cout << "Press 2 to read File " << std::endl;
    std::cout << "Enter choice: ";
    int choice = 0; // stays 0, an invalid choice, when input ends here
    std::cin >> choice;
    if (choice == 1) {
        write_notepad();
    } else if (choice == 2) {
        show_file();
    } else {
        std::cout << "Invalid Input!!" << std::endl;
    }
    return nullptr;
}

} // namespace

int main()
{
    // The signals that end note go to the job's thread alone, which holds
    // them back while it rewrites the note.
    // Once the job is done, they are the main thread's again.
    const sigset_t ending = ending_signals();
    sigset_t was;
    pthread_sigmask(SIG_BLOCK, &ending, &was);
    const int status = run_job(notep);
    pthread_sigmask(SIG_SETMASK, &was, nullptr);
    return status;
}
