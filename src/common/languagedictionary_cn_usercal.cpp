#include "languagedictionary.h"

// Chinese texts of the user calibration page's own messages, beyond the shared table.
void LanguageDictionary::addChineseUserCal(QMap<QString, QString>& dict)
{
    addPairs(dict, {
        {"Full scale of the device is unknown (%1 sccm); calibration refused.", "设备满量程未知（%1 sccm），无法标定。"},
        {"Calibration needs 2 to 16 points, got %1.", "标定需要2到16个点，实际为%1个。"},
        {"Calibration fail: with slopes %1 to %2, no table meets the point (%3 %, %4 %); the nearest misses it by %5 % of "
         "full scale.",
         "标定失败：斜率限制为%1到%2时，没有校准表能满足点(%3 %, %4 %)；最接近的校准表偏差为满量程的%5 %。"},
        {"Calibration fail: the device can hold no table with slopes %1 to %2; change yx_rate_min and yx_rate_max in "
         "tervancal.ini.",
         "标定失败：设备无法保存斜率在%1到%2之间的校准表；请修改tervancal.ini中的yx_rate_min和yx_rate_max。"},
        {"Calibration fail: the point (%1 %, %2 %) has a setpoint below 0 %; correct it in the points file %3.",
         "标定失败：点(%1 %, %2 %)的设定值低于0 %；请在标定点文件%3中改正。"},
        {"Calibration fail: the fit could not work out a table for these points.", "标定失败：无法为这些标定点算出校准表。"},
        {"Cannot save the calibration points to %1: %2", "无法保存标定点到%1：%2"},
        {"No serial number: the points have no file.", "没有序列号：标定点无法保存到文件。"},
        {"Row %1 of the points table is not a number: %2", "标准表数值第%1行不是数字：%2"},
    });
}
