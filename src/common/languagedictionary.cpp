#include "languagedictionary.h"

#include <QDebug>
#include <QSettings>

LanguageDictionary::LanguageDictionary()
{
    checkLanguageSetting();
    QSettings settings(settingsFileName(), QSettings::IniFormat);
    m_language = settings.value(QStringLiteral("lang")).toString();
    if (m_language == QLatin1String("cn"))
        loadChinese();
}

QString LanguageDictionary::settingsFileName()
{
    return QStringLiteral("tervancal.ini");
}

void LanguageDictionary::checkLanguageSetting()
{
    QSettings settings(settingsFileName(), QSettings::IniFormat);
    const QString lang = settings.value(QStringLiteral("lang")).toString();
    if (lang == QLatin1String("en") || lang == QLatin1String("cn"))
        return;
    // Only `lang` is rewritten: the slope bounds a user put into the same file
    // must survive a bad or missing language entry.
    settings.setValue(QStringLiteral("lang"), QStringLiteral("en"));
    settings.sync();
    qDebug().noquote() << QStringLiteral("Can't support this language: %1. Set to default English.").arg(lang);
}

QString LanguageDictionary::translate(const QString& text) const
{
    return m_dict.value(text, text);
}

QString LanguageDictionary::language() const
{
    return m_language;
}
