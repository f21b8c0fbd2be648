#include "Translation.h"

#include <QCoreApplication>
#include <QTranslator>

#include <memory>
#include <utility>

namespace vantry {

namespace {

QTranslator*& installedTranslator()
{
    static QTranslator* translator = nullptr;
    return translator;
}

} // namespace

bool installTranslation(UiLanguage language)
{
    if (QTranslator* previous = std::exchange(installedTranslator(), nullptr)) {
        QCoreApplication::removeTranslator(previous);
        delete previous;
    }
    if (language == UiLanguage::Russian)
        return true;
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    // A resource of the program itself: there is no install path to look for.
    if (!translator->load(QStringLiteral(":/i18n/vantry_en.qm")) ||
        !QCoreApplication::installTranslator(translator.get()))
        return false;
    installedTranslator() = translator.release();
    return true;
}

} // namespace vantry
