// Every text the listing and the conversion show in a message box or the caption.
#pragma once

namespace convert {

inline constexpr const char* kFolderMissing = "文件夹不存在，请填入正确的腾讯视频缓存文件保存地址";
inline constexpr const char* kFolderUnreadable = "无法读取缓存文件夹，列表可能不完整：";
inline constexpr const char* kNoSelection = "请选择一个时间";
inline constexpr const char* kNoFiles = "没有找到可以转换的视频文件";
inline constexpr const char* kNoTdlFiles = "没有找到可以转换的tdl视频文件";
inline constexpr const char* kSelectedFolderGone = "所选视频的缓存文件夹已不存在或无法打开，请重新读取浏览时间：";
inline constexpr const char* kPathNotScriptable = "路径中含有命令解释器无法处理的字符或路径过长，无法转换：";
inline constexpr const char* kScriptNotWritten = "无法写入转换脚本：";
inline constexpr const char* kInterpreterNotStarted = "无法启动命令解释器：";
inline constexpr const char* kExplorerNotStarted = "无法打开文件夹：";
inline constexpr const char* kConversionRunning = "上一个视频还在转换，请等它完成后再开始下一个。";
inline constexpr const char* kOutputIncomplete = "视频没有完整生成：";
inline constexpr const char* kAppFolderOnNetwork =
    "程序所在的文件夹是网络路径，无法在其中转换，请把程序复制到本机磁盘后再转换：";
inline constexpr const char* kTooManyFragments = "分段文件太多，无法写成一条复制命令，无法转换：";
inline constexpr const char* kOwnNameTaken = "程序要用的文件名被文件夹或链接占用，请移走或删除后再试：";
inline constexpr const char* kFolderNameUnreadable = "视频文件夹名含有无法处理的字符，请改名后重新读取浏览时间：";
// After kOutputIncomplete and the video's path: the run renamed nothing, and the file of that name is an older one.
inline constexpr const char* kOutputFromEarlierRun = "（这次没有写出新视频，同名文件是以前的）";
// After kOutputIncomplete and the video's path: what the file holds against what the fragments add up to.
inline constexpr const char* kOutputSizeFound = "（文件有 ";
inline constexpr const char* kOutputSizeExpected = " 字节，应有 ";
inline constexpr const char* kOutputSizeEnd = " 字节）";
inline constexpr const char* kOutputMissing = "（文件不存在）";
// The list could take no more entries; the count of those it holds goes between the two.
inline constexpr const char* kListFullBefore = "列表无法再添加条目，只列出了前 ";
inline constexpr const char* kListFullAfter = " 个文件夹。";
inline constexpr const char* kOutputInUse = "无法替换已有的视频文件，它可能正被播放器打开：";
// Ends every message about a file beside the program that the system refused to let us write.
inline constexpr const char* kMoveToWritableFolder = "请把程序放到可以写入的文件夹（例如 D:\\tdl2mp4）再运行。";
// The question before a video with missing segments is joined; the count goes between the two.
inline constexpr const char* kMissingSegmentsBefore = "这个视频没有缓存完整，缺少 ";
inline constexpr const char* kMissingSegmentsAfter = " 个分段，转换出的视频会在这些地方跳过。仍要转换吗？";
// The window's caption while a conversion runs ("正在转换 45% - " + title) and after
// it ended well ("已转换 Shipin7f3a.mp4 - " + title).
inline constexpr const char* kCaptionConverting = "正在转换 ";
inline constexpr const char* kCaptionConverted = "已转换 ";
// After a transport stream that could not be made into an MP4, the caption says why
// ("已合并 Shipin7f3a.mp4，未能转成标准MP4：磁盘空间不足 - " + title): the join itself is whole and plays.
inline constexpr const char* kCaptionJoinedOnly = "已合并 ";
inline constexpr const char* kCaptionNotStandardMp4 = "，未能转成标准MP4：";
inline constexpr const char* kRemuxNoSpace = "磁盘空间不足";
inline constexpr const char* kRemuxWriteFailed = "写入失败，";
inline constexpr const char* kRemuxUnsupported = "含有不支持的音视频格式";
inline constexpr const char* kRemuxUnreadable = "无法识别其中的视频数据";
inline constexpr const char* kRemuxReadFailed = "读取失败";
inline constexpr const char* kRemuxNotReplaced = "无法替换，";

// Several videos in one go. Each entry of a list below is the time the list shows
// for the video, kBatchEntrySeparator, and what a single conversion would say of it.
inline constexpr const char* kBatchEntrySeparator = "：";
inline constexpr const char* kBatchSkipped = "以下视频无法转换，将跳过：";
inline constexpr const char* kBatchFailed = "以下视频没有转换成功：";
// The one question before several videos with missing segments; their count goes first.
inline constexpr const char* kBatchMissingSegments =
    " 个视频没有缓存完整，转换出的视频会在缺少分段的地方跳过。仍要转换这些视频吗？";
// "正在转换 2/5 45% - " + title while the second of five runs; "已转换 5 个视频 - " + title at the end.
inline constexpr const char* kCaptionBatchConverted = " 个视频";
// What the window says when a step failed in a way none of the above foresees.
inline constexpr const char* kUnexpectedError = "未知错误";

}  // namespace convert
