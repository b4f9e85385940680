#include "TSInterfaceFiles.h"

#include "ui_firstrunsplash.h"
#include "ui_splash.h"

#include <QWidget>

#include <functional>
#include <map>

namespace {

template <typename Form> QWidget* buildForm() {
    auto* window = new QWidget(nullptr, Qt::Window);
    Form form;
    form.setupUi(window);
    return window;
}

const std::map<QString, std::function<QWidget*()>>& forms() {
    static const std::map<QString, std::function<QWidget*()>> table = {
        {QStringLiteral("firstrunsplash"), buildForm<Ui::FirstRunSplash>},
        {QStringLiteral("splash"), buildForm<Ui::Splash>},
    };
    return table;
}

} // namespace

bool tsHasInterfaceFile(const QString& name) {
    return forms().count(name) != 0;
}

QWidget* tsLoadInterfaceFile(const QString& name) {
    const auto form = forms().find(name);
    return form == forms().end() ? nullptr : form->second();
}
