// The desktop's proxy setting and its changes: GNOME's settings (org.gnome.system.proxy)
// where they are installed and kept by a real settings store. The host reads it as a proxy
// dictionary and is called back whenever it changes.
#pragma once

#include <QString>
#include <QVariantMap>

#include <memory>

class TSDynamicStore {
public:
    using Callback = void (*)(TSDynamicStore* store, void* info);

    // Keys of the proxy dictionary.
    static constexpr const char* kHTTPEnable = "HTTPEnable";
    static constexpr const char* kHTTPProxy = "HTTPProxy";
    static constexpr const char* kHTTPPort = "HTTPPort";

    // A session that watches the desktop's proxy setting, or none when the desktop keeps
    // none. The callback runs on the thread that created the session, from its event loop.
    static std::unique_ptr<TSDynamicStore> create(const QString& name, Callback callback,
                                                  void* info);
    ~TSDynamicStore();

    QString name() const { return name_; }
    // "HTTPEnable" (bool), "HTTPProxy" (string) and "HTTPPort" (int).
    QVariantMap copyProxies() const;

private:
    struct Settings;
    TSDynamicStore(const QString& name, std::unique_ptr<Settings> settings, Callback callback,
                   void* info);
    static void changed(void* settings, const char* key, void* store);

    QString name_;
    std::unique_ptr<Settings> settings_;
    Callback callback_;
    void* info_;
};
