// note: writes one line of text to the notepad file, or shows a named text
// file line by line.
#include "frame.h"
#include "notepad_path.h"
#include "save.h"

#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char *const notepad_path = NOTEPAD_PATH;

void write_notepad()
{
    std::cin.get(); // the line end after the choice
    std::cout << "Enter what you want to write below: " << std::endl;
    std::string text;
    std::getline(std::cin, text);

    if (save(notepad_path, text)) {
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

    std::ifstream file;
    std::vector<char> buffer(1 << 18); // few, large reads of a big file
    file.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    // A name with a zero byte in it names no file (the open would stop there).
    if (name.find('\0') == std::string::npos) {
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
    std::vector<char> piece(buffer.size());
    char last = '\n';
    while (file.peek() != std::ifstream::traits_type::eof()) {
        const std::streamsize got = file.readsome(piece.data(), static_cast<std::streamsize>(piece.size()));
        std::cout.write(piece.data(), got);
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
    return run_job(notep);
}
