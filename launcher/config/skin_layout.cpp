#include "skin_layout.h"

#include <string.h>

#include <string>

#include "ql_file.h"

namespace {

// Numbers of the skin are 16-bit: -1 is stored as 65535.
int32_t ReadSkinNumber(CQLFile& file)
{
    return static_cast<int32_t>(static_cast<uint16_t>(file.ReadInt()));
}

void ReadPlacement(CQLFile& file, QLPlacement& placement)
{
    placement.x = ReadSkinNumber(file);
    placement.y = ReadSkinNumber(file);
    placement.cx = ReadSkinNumber(file);
    placement.cy = ReadSkinNumber(file);
}

void ReadColor(CQLFile& file, QLColor& color)
{
    color.r = ReadSkinNumber(file);
    color.g = ReadSkinNumber(file);
    color.b = ReadSkinNumber(file);
}

void ReadNoticeRect(CQLFile& file, QLRect& rect)
{
    rect.left = ReadSkinNumber(file);
    rect.top = ReadSkinNumber(file);
    rect.right = rect.left + ReadSkinNumber(file);
    rect.bottom = rect.top + ReadSkinNumber(file);
}

void ReadFont(CQLFile& file, QLSkinLayout& layout)
{
    layout.m_nFontSize = ReadSkinNumber(file);
    std::wstring face = file.ReadWideString();
    // The member holds 63 characters; a longer name is cut rather than written past it.
    size_t units = face.size() < static_cast<size_t>(kFontFaceUnits - 1) ? face.size() : kFontFaceUnits - 1;
    wmemcpy(layout.m_szFontFace, face.data(), units);
    layout.m_szFontFace[units] = L'\0';
}

enum class SectionKind { Placement, Color, Notice, Font };

struct Section {
    const char* word;  // GBK bytes, whatever the system code page is
    SectionKind kind;
    QLPlacement QLSkinLayout::*placement;
    QLColor QLSkinLayout::*color;
};

constexpr Section kSections[] = {
    {"#\xD6\xF7\xBD\xE7\xC3\xE6", SectionKind::Placement, &QLSkinLayout::m_posMainWindow, nullptr},  // 主界面
    {"#\xBF\xAA\xCA\xBC\xB0\xB4\xC5\xA5", SectionKind::Placement, &QLSkinLayout::m_posStartButton, nullptr},  // 开始按钮
    {"#\xD7\xA2\xB2\xE1\xB0\xB4\xC5\xA5", SectionKind::Placement, &QLSkinLayout::m_posRegisterButton, nullptr},  // 注册按钮
    {"#\xB9\xD9\xCD\xF8\xB0\xB4\xC5\xA5", SectionKind::Placement, &QLSkinLayout::m_posHomePageButton, nullptr},  // 官网按钮
    {"#\xB9\xD8\xB1\xD5\xB0\xB4\xC5\xA5", SectionKind::Placement, &QLSkinLayout::m_posCloseButton, nullptr},  // 关闭按钮
    {"#\xB4\xB0\xBF\xDA\xC4\xA3\xCA\xBD", SectionKind::Placement, &QLSkinLayout::m_posWindowMode, nullptr},  // 窗口模式
    {"#\xB5\xB1\xC7\xB0\xBD\xF8\xB6\xC8\xCC\xF5", SectionKind::Placement, &QLSkinLayout::m_posCurrentProgress,
     nullptr},  // 当前进度条
    {"#\xB5\xB1\xC7\xB0\xBD\xF8\xB6\xC8\xCC\xF5\xB1\xB3\xBE\xB0\xC9\xAB", SectionKind::Color, nullptr,
     &QLSkinLayout::m_clrCurrentBack},  // 当前进度条背景色
    {"#\xB5\xB1\xC7\xB0\xBD\xF8\xB6\xC8\xCC\xF5\xC7\xB0\xBE\xB0\xC9\xAB", SectionKind::Color, nullptr,
     &QLSkinLayout::m_clrCurrentBar},  // 当前进度条前景色
    {"#\xCD\xEA\xB3\xC9\xBD\xF8\xB6\xC8\xCC\xF5", SectionKind::Placement, &QLSkinLayout::m_posTotalProgress,
     nullptr},  // 完成进度条
    {"#\xCD\xEA\xB3\xC9\xBD\xF8\xB6\xC8\xCC\xF5\xB1\xB3\xBE\xB0\xC9\xAB", SectionKind::Color, nullptr,
     &QLSkinLayout::m_clrTotalBack},  // 完成进度条背景色
    {"#\xCD\xEA\xB3\xC9\xBD\xF8\xB6\xC8\xCC\xF5\xC7\xB0\xBE\xB0\xC9\xAB", SectionKind::Color, nullptr,
     &QLSkinLayout::m_clrTotalBar},  // 完成进度条前景色
    {"#\xB7\xD6\xB1\xE6\xC2\xCA\xD1\xA1\xD4\xF1", SectionKind::Placement, &QLSkinLayout::m_posResolution,
     nullptr},  // 分辨率选择
    {"#\xCC\xE1\xCA\xBE\xCF\xFB\xCF\xA2", SectionKind::Placement, &QLSkinLayout::m_posTipText, nullptr},  // 提示消息
    {"#\xCF\xC2\xD4\xD8\xCC\xE1\xCA\xBE", SectionKind::Placement, &QLSkinLayout::m_posDownloadText, nullptr},  // 下载提示
    {"#\xB0\xE6\xB1\xBE\xBA\xC5", SectionKind::Placement, &QLSkinLayout::m_posVersionText, nullptr},  // 版本号
    {"#\xB9\xAB\xB8\xE6", SectionKind::Notice, nullptr, nullptr},  // 公告
    {"#\xB9\xAB\xB8\xE6\xB1\xB3\xBE\xB0\xC9\xAB", SectionKind::Color, nullptr, &QLSkinLayout::m_clrNoticeBack},  // 公告背景色
    {"#\xD7\xD6\xCC\xE5\xD1\xD5\xC9\xAB", SectionKind::Color, nullptr, &QLSkinLayout::m_clrFont},  // 字体颜色
    {"#\xB0\xE6\xB1\xBE\xBA\xC5\xD1\xD5\xC9\xAB", SectionKind::Color, nullptr, &QLSkinLayout::m_clrVersionText},  // 版本号颜色
    {"#\xCC\xE1\xCA\xBE\xCF\xFB\xCF\xA2\xD1\xD5\xC9\xAB", SectionKind::Color, nullptr,
     &QLSkinLayout::m_clrTipText},  // 提示消息颜色
    {"#\xCF\xC2\xD4\xD8\xCC\xE1\xCA\xBE\xD1\xD5\xC9\xAB", SectionKind::Color, nullptr,
     &QLSkinLayout::m_clrDownloadText},  // 下载提示颜色
    {"#\xD7\xD6\xCC\xE5", SectionKind::Font, nullptr, nullptr},  // 字体
};

}  // namespace

bool ReadSkinLayout(const char* path, QLSkinLayout& layout)
{
    CQLFile file;
    if (!file.Open(path)) return false;
    while (!file.IsEOF()) {
        file.ReadWord();
        for (const Section& section : kSections) {
            if (strcmp(g_szWordBuffer, section.word) != 0) continue;
            switch (section.kind) {
            case SectionKind::Placement: ReadPlacement(file, layout.*section.placement); break;
            case SectionKind::Color: ReadColor(file, layout.*section.color); break;
            case SectionKind::Notice: ReadNoticeRect(file, layout.m_rcNotice); break;
            case SectionKind::Font: ReadFont(file, layout); break;
            }
            break;
        }
    }
    return true;
}
