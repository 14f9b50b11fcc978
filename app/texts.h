// Every text the program shows, as GBK (code page 936) bytes, so no compiler setting decides them.
#pragma once

namespace texts {

// Each constant is spelled in escaped bytes; its text stands beside it.
inline constexpr char kCurrentTimePrefix[] =
    "\xB5\xB1\xC7\xB0\xCA\xB1\xBC\xE4\xA3\xBA";  // 当前时间：
inline constexpr char kYear[] = "\xC4\xEA";      // 年
inline constexpr char kMonth[] = "\xD4\xC2";     // 月
inline constexpr char kDay[] = "\xC8\xD5";       // 日
inline constexpr char kHour[] = "\xCA\xB1";      // 时
inline constexpr char kMinute[] = "\xB7\xD6";    // 分
inline constexpr char kSecond[] = "\xC3\xEB";    // 秒

inline constexpr char kWindowCaption[] =
    "\xC0\xBD\xD3\xEC\xCA\xB1\xBC\xE4\xCD\xAC\xB2\xBD";                       // 澜屿时间同步
inline constexpr char kSystemTime[] = "\xCF\xB5\xCD\xB3\xCA\xB1\xBC\xE4";     // 系统时间
inline constexpr char kSyncTime[] = "\xCD\xAC\xB2\xBD\xCA\xB1\xBC\xE4";       // 同步时间
inline constexpr char kSyncAgain[] = "\xD4\xD9\xB4\xCE\xCD\xAC\xB2\xBD";      // 再次同步
inline constexpr char kContactAuthor[] = "\xC1\xAA\xCF\xB5\xD7\xF7\xD5\xDF";  // 联系作者

inline constexpr char kCheckNetwork[] = "\xC7\xEB\xBC\xEC\xB2\xE9\xCD\xF8\xC2\xE7";  // 请检查网络
inline constexpr char kSevereError[] = "\xD1\xCF\xD6\xD8\xB4\xED\xCE\xF3";           // 严重错误
inline constexpr char kCannotCreateWindow[] =
    "\xCE\xDE\xB7\xA8\xB4\xB4\xBD\xA8\xB4\xB0\xBF\xDA";  // 无法创建窗口

inline constexpr char kTimeBeforeSync[] =
    "\xCD\xAC\xB2\xBD\xC7\xB0\xCA\xB1\xBC\xE4\xA3\xBA";  // 同步前时间：
inline constexpr char kTimeAfterSync[] =
    "\xCD\xAC\xB2\xBD\xBA\xF3\xCA\xB1\xBC\xE4\xA3\xBA";  // 同步后时间：
inline constexpr char kServerUnhealthy[] =
    "\xCD\xAC\xB2\xBD\xCA\xA7\xB0\xDC\xA3\xBA\xB7\xFE\xCE\xF1\xC6\xF7"
    "\xCA\xB1\xBC\xE4\xB2\xBB\xBF\xC9\xBF\xBF";  // 同步失败：服务器时间不可靠
inline constexpr char kServerTimeUnreadable[] =
    "\xCD\xAC\xB2\xBD\xCA\xA7\xB0\xDC\xA3\xBA\xCE\xDE\xB7\xA8\xCA\xB6\xB1\xF0"
    "\xB7\xFE\xCE\xF1\xC6\xF7\xCA\xB1\xBC\xE4";  // 同步失败：无法识别服务器时间
inline constexpr char kSetClockRefused[] =
    "\xC9\xE8\xD6\xC3\xCA\xA7\xB0\xDC\xA3\xAC\xC7\xEB\xD2\xD4\xB9\xDC"
    "\xC0\xED\xD4\xB1\xC9\xED\xB7\xDD\xD4\xCB\xD0\xD0";  // 设置失败，请以管理员身份运行

}  // namespace texts
