#include "languagedictionary.h"

// Chinese texts of the user calibration page's own messages, beyond the shared table.
void LanguageDictionary::addChineseUserCal(QMap<QString, QString>& dict)
{
    addPairs(dict, {
    });
}
