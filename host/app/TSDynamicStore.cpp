#include "TSDynamicStore.h"

#include <gio/gio.h>

#include <cstring>

namespace {
const char* const kProxySchema = "org.gnome.system.proxy";
const char* const kHttpProxySchema = "org.gnome.system.proxy.http";

bool schemaInstalled(const char* id) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr;
    if (schema)
        g_settings_schema_unref(schema);
    return schema != nullptr;
}

// GIO falls back to a store in memory when the desktop has none: its values are only the
// defaults, not a setting of the user's.
bool settingsArePersistent(GSettings* settings) {
    GSettingsBackend* backend = nullptr;
    g_object_get(settings, "backend", &backend, nullptr);
    const bool inMemory =
        backend && std::strcmp(G_OBJECT_TYPE_NAME(backend), "GMemorySettingsBackend") == 0;
    if (backend)
        g_object_unref(backend);
    return !inMemory;
}
} // namespace

struct TSDynamicStore::Settings {
    GSettings* proxy = nullptr;
    GSettings* http = nullptr;
    ~Settings() {
        for (GSettings* settings : {proxy, http}) {
            if (settings) {
                g_signal_handlers_disconnect_matched(settings, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                                     reinterpret_cast<gpointer>(&changed), nullptr);
                g_object_unref(settings);
            }
        }
    }
};

std::unique_ptr<TSDynamicStore> TSDynamicStore::create(const QString& name, Callback callback,
                                                       void* info) {
    if (!schemaInstalled(kProxySchema) || !schemaInstalled(kHttpProxySchema))
        return nullptr;
    auto settings = std::make_unique<Settings>();
    settings->proxy = g_settings_new(kProxySchema);
    settings->http = g_settings_new(kHttpProxySchema);
    if (!settingsArePersistent(settings->proxy))
        return nullptr;
    std::unique_ptr<TSDynamicStore> store(
        new TSDynamicStore(name, std::move(settings), callback, info));
    for (GSettings* watched : {store->settings_->proxy, store->settings_->http})
        g_signal_connect(watched, "changed", G_CALLBACK(&changed), store.get());
    return store;
}

TSDynamicStore::TSDynamicStore(const QString& name, std::unique_ptr<Settings> settings,
                               Callback callback, void* info)
    : name_(name), settings_(std::move(settings)), callback_(callback), info_(info) {}

TSDynamicStore::~TSDynamicStore() = default;

void TSDynamicStore::changed(void*, const char*, void* store) {
    auto* self = static_cast<TSDynamicStore*>(store);
    if (self->callback_)
        self->callback_(self, self->info_);
}

QVariantMap TSDynamicStore::copyProxies() const {
    gchar* mode = g_settings_get_string(settings_->proxy, "mode");
    gchar* host = g_settings_get_string(settings_->http, "host");
    const int port = g_settings_get_int(settings_->http, "port");
    // GNOME's "manual" mode is the enabled HTTP proxy of the dictionary.
    QVariantMap proxies{
        {QString::fromLatin1(kHTTPEnable), std::strcmp(mode, "manual") == 0},
        {QString::fromLatin1(kHTTPProxy), QString::fromUtf8(host)},
        {QString::fromLatin1(kHTTPPort), port},
    };
    g_free(mode);
    g_free(host);
    return proxies;
}
