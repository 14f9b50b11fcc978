// The escaped GBK constants say exactly the Chinese texts beside them.
#include <gtest/gtest.h>

#include "app/texts.h"
#include "tests/gbk.h"

namespace {

struct TextCase {
    const char* constant;
    const char* utf8;
};

TEST(Texts, EachConstantIsItsTextInGbk) {
    const TextCase cases[] = {
        {texts::kCurrentTimePrefix, "当前时间："},
        {texts::kYear, "年"},
        {texts::kMonth, "月"},
        {texts::kDay, "日"},
        {texts::kHour, "时"},
        {texts::kMinute, "分"},
        {texts::kSecond, "秒"},
        {texts::kWindowCaption, "澜屿时间同步"},
        {texts::kSystemTime, "系统时间"},
        {texts::kSyncTime, "同步时间"},
        {texts::kSyncAgain, "再次同步"},
        {texts::kContactAuthor, "联系作者"},
        {texts::kCheckNetwork, "请检查网络"},
        {texts::kSevereError, "严重错误"},
        {texts::kCannotCreateWindow, "无法创建窗口"},
        {texts::kTimeBeforeSync, "同步前时间："},
        {texts::kTimeAfterSync, "同步后时间："},
        {texts::kServerUnhealthy, "同步失败：服务器时间不可靠"},
        {texts::kServerTimeUnreadable, "同步失败：无法识别服务器时间"},
        {texts::kSetClockRefused, "设置失败，请以管理员身份运行"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(std::string(c.constant), Gbk(c.utf8)) << c.utf8;
    }
}

TEST(Texts, ChineseCharactersTakeTwoBytes) {
    EXPECT_EQ(std::string(texts::kCurrentTimePrefix).size(), 10u);
    EXPECT_EQ(std::string(texts::kYear).size(), 2u);
}

}  // namespace
