// wek-xmlcheck [file]
//
// Reads an answer (windows-1250 bytes) from the file, or from standard input
// when no file is named, with the client's XML reader. On success prints the
// document as the writer produces it (UTF-8) and exits 0; otherwise prints
// "cannot read XML" and exits 1.

#include "EKXML.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace {

bool ReadAll(std::istream &in, std::string &bytes)
{
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2) {
        std::cerr << "usage: wek-xmlcheck [file]\n";
        return 2;
    }
    std::string bytes;
    bool read = false;
    if (argc == 2) {
        std::ifstream file(argv[1], std::ios::binary);
        read = file && ReadAll(file, bytes);
    } else {
        std::ios::sync_with_stdio(false);
        read = ReadAll(std::cin, bytes);
    }
    TEKXML doc;
    if (!read || doc.LoadFromStream(bytes) != 0) {
        std::cout << "cannot read XML\n";
        return 1;
    }
    std::cout << doc.GetDocumentText();
    std::cout.flush();
    return std::cout ? 0 : 1;
}
