#include "helperServer.h"

#include "TSApplication.h"

#include <mutex>

helperServer* helperServer::defaultHelperServer() {
    static std::once_flag created;
    static helperServer* server = nullptr;
    // Lives as long as the process: other processes may ask it until the very end.
    std::call_once(created, [] { server = new helperServer; });
    return server;
}

std::optional<QProcessEnvironment> helperServer::getEnvironmentForXConnection() const {
    if (!isReady_)
        return std::nullopt;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (const TSApplication* application = TSApplication::sharedApplication())
        environment.insert(QStringLiteral("TS_ROOT"), application->tesseraRoot());
    environment.remove(QStringLiteral("PYTHONPATH"));
    return environment;
}
