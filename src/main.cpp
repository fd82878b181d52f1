#include "app/krt550h1.h"
#include "cli/commandline.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // A command (convert, --help, --version) runs on QCoreApplication: no display, no window.
    if (krt::cli::isCommandLine(argc, argv))
        return krt::cli::runCommandLine(argc, argv);
    QApplication app(argc, argv);
    return krt::Main();
}
