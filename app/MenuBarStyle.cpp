#include "MenuBarStyle.h"

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>

namespace {

constexpr int IconTextGap = 4;

class BitmapAndCaptionStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
        if (element != CE_MenuBarItem || !item || item->icon.isNull()) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        // The panel (with its highlight) first, then bitmap and caption.
        QStyleOptionMenuItem panel(*item);
        panel.icon = QIcon();
        panel.text.clear();
        QProxyStyle::drawControl(element, &panel, painter, widget);

        const int side = pixelMetric(PM_SmallIconSize, option, widget);
        const QPixmap pixmap = item->icon.pixmap(QSize(side, side), painter->device()->devicePixelRatio(),
                                                 item->state & State_Enabled ? QIcon::Normal : QIcon::Disabled);
        const int textWidth = item->fontMetrics.horizontalAdvance(item->text);
        const int contentWidth = side + IconTextGap + textWidth;
        const int left = item->rect.x() + (item->rect.width() - contentWidth) / 2;
        const QRect iconRect(left, item->rect.y(), side, item->rect.height());
        const QRect textRect(left + side + IconTextGap, item->rect.y(), textWidth, item->rect.height());
        drawItemPixmap(painter, iconRect, Qt::AlignCenter, pixmap);
        drawItemText(painter, textRect, Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextSingleLine,
                     item->palette, item->state & State_Enabled, item->text, QPalette::ButtonText);
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &contents,
                           const QWidget *widget) const override
    {
        const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
        if (type != CT_MenuBarItem || !item || item->icon.isNull())
            return QProxyStyle::sizeFromContents(type, option, contents, widget);
        const QSize text = item->fontMetrics.size(Qt::TextShowMnemonic | Qt::TextSingleLine, item->text);
        const QSize both(contents.width() + IconTextGap + text.width(), std::max(contents.height(), text.height()));
        return QProxyStyle::sizeFromContents(type, option, both, widget);
    }
};

} // namespace

QStyle *NewMenuBarStyle(QObject *owner)
{
    auto *style = new BitmapAndCaptionStyle(QStyleFactory::create(QApplication::style()->name()));
    style->setParent(owner);
    return style;
}
