#include "platform/xdg/gio_apps.h"

#include "platform/core/error.h"

#include <QFile>

// GLib's headers use a name Qt defines as a keyword macro.
#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <memory>

namespace {

template <class T> struct GObjectDeleter {
    void operator()(T* object) const {
        if (object)
            g_object_unref(object);
    }
};
template <class T> using GPtr = std::unique_ptr<T, GObjectDeleter<T>>;

QString from_utf8(const char* text) {
    return text ? QString::fromUtf8(text) : QString();
}

QString icon_name(GAppInfo* info) {
    GIcon* icon = g_app_info_get_icon(info); // not owned
    if (!icon)
        return {};
    if (G_IS_THEMED_ICON(icon)) {
        const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon));
        return names && names[0] ? from_utf8(names[0]) : QString();
    }
    if (G_IS_FILE_ICON(icon)) {
        gchar* path = g_file_get_path(g_file_icon_get_file(G_FILE_ICON(icon)));
        const QString result = from_utf8(path);
        g_free(path);
        return result;
    }
    return {};
}

DesktopApp describe(GAppInfo* info, bool is_default) {
    DesktopApp app;
    app.id = from_utf8(g_app_info_get_id(info));
    app.name = from_utf8(g_app_info_get_name(info));
    app.icon = icon_name(info);
    app.is_default = is_default;
    return app;
}

// A program file as an application: its path, quoted for the command line GIO parses, then the
// file to open as one argument.
GPtr<GAppInfo> app_for_command(const QString& program, GError** error) {
    gchar* quoted = g_shell_quote(QFile::encodeName(program).constData());
    // The command line of a desktop entry gives '%' a meaning of its own.
    QByteArray command(quoted);
    g_free(quoted);
    command.replace("%", "%%");
    const QByteArray name = QFile::encodeName(program.section(QLatin1Char('/'), -1));
    return GPtr<GAppInfo>(g_app_info_create_from_commandline(command.constData(), name.constData(),
                                                             G_APP_INFO_CREATE_NONE, error));
}

bool launch(GAppInfo* info, const QString& path) {
    GPtr<GFile> file(g_file_new_for_path(QFile::encodeName(path).constData()));
    GList files{file.get(), nullptr, nullptr};
    GError* error = nullptr;
    const gboolean started = g_app_info_launch(info, &files, nullptr, &error);
    if (error)
        g_error_free(error);
    return started;
}

} // namespace

std::vector<DesktopApp> apps_for_type(const QString& mime_type) {
    const QByteArray type = mime_type.toUtf8();
    std::vector<DesktopApp> apps;
    GPtr<GAppInfo> preferred(g_app_info_get_default_for_type(type.constData(), FALSE));
    if (preferred)
        apps.push_back(describe(preferred.get(), true));
    GList* all = g_app_info_get_all_for_type(type.constData());
    for (GList* item = all; item; item = item->next) {
        auto* info = static_cast<GAppInfo*>(item->data);
        if (preferred && g_app_info_equal(info, preferred.get()))
            continue;
        apps.push_back(describe(info, false));
    }
    g_list_free_full(all, g_object_unref);
    return apps;
}

bool launch_default_for_type(const QString& mime_type, const QString& path) {
    GPtr<GAppInfo> info(g_app_info_get_default_for_type(mime_type.toUtf8().constData(), FALSE));
    return info && launch(info.get(), path);
}

namespace {

QString take_message(GError* error) {
    const QString reason = error ? from_utf8(error->message) : QString();
    if (error)
        g_error_free(error);
    return reason;
}

GPtr<GAppInfo> app_info(const DesktopApp& app) {
    GError* error = nullptr;
    GPtr<GAppInfo> info;
    if (!app.command.isEmpty())
        info = app_for_command(app.command, &error);
    else
        info.reset(G_APP_INFO(g_desktop_app_info_new(app.id.toUtf8().constData())));
    if (!info) {
        const QString reason = take_message(error);
        throw KapError(QStringLiteral("Impossible d'utiliser le programme \"%1\". %2")
                           .arg(app.command.isEmpty() ? app.id : app.command, reason)
                           .trimmed());
    }
    return info;
}

} // namespace

void set_default_app(const DesktopApp& app, const QString& mime_type) {
    GPtr<GAppInfo> info = app_info(app);
    GError* error = nullptr;
    if (!g_app_info_set_as_default_for_type(info.get(), mime_type.toUtf8().constData(), &error))
        throw KapError(QStringLiteral("Impossible d'enregistrer le programme par défaut. %1")
                           .arg(take_message(error))
                           .trimmed());
}

bool launch_app(const DesktopApp& app, const QString& path) {
    return launch(app_info(app).get(), path);
}
