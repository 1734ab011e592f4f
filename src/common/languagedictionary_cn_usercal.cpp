#include "languagedictionary.h"

// Chinese texts of the user calibration page's own messages, beyond the shared table.
void LanguageDictionary::addChineseUserCal(QMap<QString, QString>& dict)
{
    addPairs(dict, {
        {"Full scale of the device is unknown (%1 sccm); calibration refused.", "设备满量程未知（%1 sccm），无法标定。"},
        {"Calibration needs 2 to 16 points, got %1.", "标定需要2到16个点，实际为%1个。"},
        {"The fitted table is unusable: 32 X and 32 Y values between 0 and 2 are needed.",
         "拟合结果不可用：需要32个X值和32个Y值，且都在0到2之间。"},
        {"Cannot save the calibration points to %1: %2", "无法保存标定点到%1：%2"},
        {"No serial number: the points have no file.", "没有序列号：标定点无法保存到文件。"},
        {"Row %1 of the points table is not a number: %2", "标准表数值第%1行不是数字：%2"},
    });
}
