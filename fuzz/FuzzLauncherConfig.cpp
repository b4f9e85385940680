// Arbitrary bytes as TillerConfig.txt, as a server line and as a scrambled password.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "LauncherConfig.h"
#include "PasswordScrambler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const std::string text(bytes, size);

    CLauncherConfig config;
    config.ReadText(bytes, size);
    config.TakePasswordBox(text);
    config.Save(config.serverLines.empty() ? text : config.serverLines.front());

    DecryptPassword(text, kPasswordKey);
    // Scrambling gives back the clear text up to its first zero byte.
    std::string clear = text.substr(0, text.find('\0'));
    if (DecryptPassword(EncryptPassword(text, kPasswordKey), kPasswordKey) != clear)
        abort();
    return 0;
}
