// plovanctl: drives the unit from scripts, through the same core as the window.
#include "plovanctl.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("plovanctl"));
    return plovan::cli::runPlovanctl(app.arguments().mid(1));
}
