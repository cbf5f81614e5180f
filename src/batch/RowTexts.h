#pragma once
// The texts the batch run writes into a row's status cell and into the
// progress panel.
#include <QString>

namespace rowtext {

inline const QString StatusReplacing = QStringLiteral("封面更换中...");
inline const QString StatusOk = QStringLiteral("Ok");
inline const QString StatusOkSized = QStringLiteral("Ok！");
inline const QString StatusFailed = QStringLiteral("更换失败");
inline const QString StatusFrameStarted = QStringLiteral("OK!");
inline const QString StatusCropTooLarge = QStringLiteral("失败：画面裁剪量太大");
inline const QString SizeUnit = QStringLiteral("mb；");

inline const QString ProgressReplacing = QStringLiteral("状态：更换封面处理中...");
inline const QString ProgressFrames = QStringLiteral("状态：截取视频帧当独立封面中...");
inline const QString ProgressVideoCover = QStringLiteral("状态：视频封面更换中...已处理：");
inline const QString ProgressMp3Cover = QStringLiteral("状态：Mp3封面更换中...已处理：");
inline const QString ProgressDone = QStringLiteral("状态：更换封面处理完毕！");
inline const QString ProgressFramesDone = QStringLiteral("状态：视频封面图提取完毕！");

inline const QString Title = QStringLiteral("消息");

}  // namespace rowtext
