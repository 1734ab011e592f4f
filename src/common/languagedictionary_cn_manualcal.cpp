#include "languagedictionary.h"

// Chinese texts of the manual calibration page's own messages, beyond the shared table.
void LanguageDictionary::addChineseManualCal(QMap<QString, QString>& dict)
{
    addPairs(dict, {
        {"Not written: %1 = \"%2\" is empty, not a number or out of the register's range.",
         "未写入：%1 = \"%2\" 为空、不是数字或超出寄存器范围。"},
        {"Nothing written: %1 is empty or not a number.", "未写入：%1 为空或不是数字。"},
        {"Nothing written: %1 and %2 are equal (%3).", "未写入：%1 与 %2 相等（%3）。"},
        {"Nothing written: the average of %1 is 0.", "未写入：%1 的平均值为 0。"},
        {"Operation ended: %1", "操作已终止：%1"},
        {"Nothing written: %1 not typed or read since the page was opened, the last calculation or a new setting "
         "of its point.",
         "未写入：自页面打开、上次计算或其所在点重新设定以来，%1 未输入或未读取。"},
        {"This step left the device with %1: restore its earlier values where needed.",
         "此步骤使设备保留 %1：如有需要，请恢复原来的值。"},
        {"The device may hold %1 (no reply confirmed the write): restore its earlier value where needed.",
         "设备可能保留 %1（写入未得到应答确认）：如有需要，请恢复原来的值。"},
        {"%1 (commit not confirmed)", "%1（未确认已写入 EEPROM）"},
    });
}
