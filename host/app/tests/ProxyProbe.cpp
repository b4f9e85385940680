// Starts the host's application object with the bundle given as the first argument, starts
// watching the desktop's proxy setting as the host does at start-up, and prints what the
// programs it starts would get as http_proxy ("<unset>" when none).
#include "TSApplication.h"
#include "TSServer.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: proxy_probe BUNDLE\n");
        return 2;
    }
    TSApplication application(argc, argv, QString::fromLocal8Bit(argv[1]));
    TSServer server;
    server.beginMonitoringSystemConfigurationProxy();
    std::printf("%s\n", qEnvironmentVariableIsSet("http_proxy") ? qgetenv("http_proxy").constData()
                                                                : "<unset>");
    return 0;
}
