// The hex boxes of the header windows: four hex digits each, typed through
// the hex key filter, read back as header words.
#pragma once

#include "header_words.h"
#include "hex_text.h"
#include "key_filter.h"
#include "link.h"

#include <QLineEdit>
#include <array>
#include <optional>
#include <string>

namespace plovan::header {

// A header address as the unit's commands carry it: six hex digits.
inline QString hexAddress(std::uint32_t address)
{
    return QString::fromStdString(hexField(address, 6));
}

// A box named `name` holding `text`; its tool tip gives its header address.
inline QLineEdit* wordBox(QWidget* parent, const QString& name, const std::string& text, const QString& tip)
{
    auto* box = new QLineEdit(QString::fromStdString(text), parent);
    box->setObjectName(name);
    box->setMaxLength(4);
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("WWWWW")));
    box->setToolTip(tip);
    KeyFilter::install(box, QStringLiteral("0123456789ABCDEFabcdef"));
    return box;
}

// The boxes' words, upper-cased. Empty when a box does not hold four hex
// digits: `window` says which on the link, the box gets the focus, and
// nothing is to be sent (a short word would shift the unit's reading of
// the command line).
template <std::size_t N>
std::optional<std::array<std::string, N>> readWords(Link& link, const QString& window,
                                                    const std::array<QLineEdit*, N>& boxes)
{
    std::array<std::string, N> words;
    for (std::size_t n = 0; n < N; ++n) {
        const QString text = boxes[n]->text().toUpper();
        if (!isWord(text.toStdString())) {
            link.report(QStringLiteral("%1: %2 \"%3\" is not four hex digits - nothing sent")
                            .arg(window, boxes[n]->objectName(), boxes[n]->text()));
            boxes[n]->setFocus();
            return std::nullopt;
        }
        words[n] = text.toStdString();
    }
    return words;
}

} // namespace plovan::header
