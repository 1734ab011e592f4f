#include "languagedictionary.h"

// Chinese texts of the register tool's own messages, beyond the shared table.
void LanguageDictionary::addChineseTools(QMap<QString, QString>& dict)
{
    addPairs(dict, {
    });
}
