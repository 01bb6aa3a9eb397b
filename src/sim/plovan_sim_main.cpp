// plovan-sim: a simulated unit on a pseudo-terminal (see sim_server.h).
#include "sim_server.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return plovan::sim::runSimServer(app.arguments().mid(1));
}
