// Makes the tree given as the only argument writable, as whichever user runs it, and prints
// "YES" or "NO"; the log goes to standard error.
#include "FileManagerAdditions.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_writable_probe TREE\n");
        return 2;
    }
    QCoreApplication application(argc, argv);
    const bool made =
        TSFileManager::ts_fileManager().makeWritableAtPath(QString::fromLocal8Bit(argv[1]), true);
    std::printf("%s\n", made ? "YES" : "NO");
    return 0;
}
