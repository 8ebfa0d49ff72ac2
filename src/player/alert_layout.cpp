// The alert dialog's layout.
#include "player/alert_layout.h"

#include <algorithm>

namespace cv {

namespace {
constexpr int kClassWidth[10] = {400, 250, 280, 320, 360, 400, 480, 470, 490, 490};
constexpr int kClassHeight[10] = {130, 100, 120, 130, 130, 180, 140, 120, 210, 220};
constexpr int kMaxButtons = 3;
} // namespace

AlertPicture alertPicture(int digit, bool showIcon) {
    if (!showIcon) return AlertPicture::None;
    switch (digit) {
    case 1: return AlertPicture::Stop;
    case 3: return AlertPicture::Exclamation;
    case 2:
    case 4: return AlertPicture::Dog;
    default: return AlertPicture::None;
    }
}

int alertClassWidth(int sizeClass) { return kClassWidth[sizeClass >= 0 && sizeClass <= 9 ? sizeClass : 0]; }
int alertClassHeight(int sizeClass) { return kClassHeight[sizeClass >= 0 && sizeClass <= 9 ? sizeClass : 0]; }

int alertButtonWidth(const std::string& label, const AlertMetrics& m) {
    return std::max(m.templateButtonWidth, static_cast<int>(label.size()) * m.baseUnitX + 24);
}

bool isCancelLabel(const std::string& label) {
    std::string plain;
    for (char c : label)
        if (c != '&') plain += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return plain == "cancel";
}

AlertLayout layoutAlert(const AlertText& a, bool showIcon, QSize pictureSize,
                        const std::function<int(int)>& textHeight, const AlertMetrics& m) {
    AlertLayout l;
    const int count = std::min(static_cast<int>(a.buttons.size()), kMaxButtons);
    std::vector<int> widths;
    int buttonsWidth = 0;
    for (int i = 0; i < count; ++i) {
        widths.push_back(alertButtonWidth(a.buttons[i], m));
        buttonsWidth += widths.back() + (i ? m.buttonGap : 0);
    }
    const int side = m.frame + m.border; // the frame on each side of the client area
    const int width = std::max(alertClassWidth(a.sizeClass), buttonsWidth + 2 * (side + m.margin));
    int height = alertClassHeight(a.sizeClass);

    l.picture = alertPicture(a.picture, showIcon);
    if (l.picture == AlertPicture::None) pictureSize = QSize();
    const int textLeft = pictureSize.isEmpty() ? m.margin : pictureSize.width() + 12;
    const int clientWidth = width - 2 * side;
    const int textWidth = std::max(clientWidth - m.margin - textLeft, 1);

    // The client height the text and the buttons need; a long run-time message grows the
    // dialog rather than being cut off.
    const int below = m.textGap + m.buttonHeight + m.margin;
    int clientHeight = height - m.caption - 2 * side;
    if (textHeight) {
        const int needed = m.textTop + textHeight(textWidth) + below;
        clientHeight = std::max(clientHeight, needed);
    }
    if (!pictureSize.isEmpty()) {
        // Buttons that reach under the picture go below it.
        const bool underPicture = clientWidth - m.margin - buttonsWidth < m.margin + pictureSize.width() + m.margin;
        clientHeight = std::max(clientHeight, m.margin + pictureSize.height() + (underPicture ? below : m.margin));
    }
    height = clientHeight + m.caption + 2 * side;

    l.window = QSize(width, height);
    l.client = QSize(clientWidth, clientHeight);
    if (!pictureSize.isEmpty()) l.pictureRect = QRect(QPoint(m.margin, m.margin), pictureSize);

    const int buttonTop = clientHeight - m.margin - m.buttonHeight;
    l.textRect = QRect(textLeft, m.textTop, textWidth, std::max(buttonTop - m.textGap - m.textTop, 1));

    int right = clientWidth - m.margin; // one past the rightmost button
    for (int i = 0; i < count; ++i) {
        l.buttons.emplace_back(right - widths[i], buttonTop, widths[i], m.buttonHeight);
        right -= widths[i] + m.buttonGap;
    }
    l.defaultButton = a.defaultButton >= 0 && a.defaultButton < count ? a.defaultButton : 0;
    for (int i = 0; i < count; ++i) {
        if (isCancelLabel(a.buttons[i])) {
            l.cancelButton = i;
            break;
        }
    }
    return l;
}

} // namespace cv
