#include "chirp_mode.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QWidget>

namespace plovan {

namespace {

using P = ModeControl::Property;
using T = ModeControl::Target;

ModeControl chirpOnly(const char* name)
{
    return {.objectName = name, .inChirp = true, .inSingle = false};
}
ModeControl singleOnly(const char* name)
{
    return {.objectName = name, .inChirp = false, .inSingle = true};
}
ModeControl menuInSingle(const char* name)
{
    return {.objectName = name, .property = P::Enabled, .inChirp = false, .inSingle = true};
}

void setCaption(QObject* o, const QString& caption)
{
    if (auto* frame = qobject_cast<QGroupBox*>(o))
        frame->setTitle(caption);
    else if (auto* button = qobject_cast<QAbstractButton*>(o))
        button->setText(caption);
    else if (auto* label = qobject_cast<QLabel*>(o))
        label->setText(caption);
    else if (auto* action = qobject_cast<QAction*>(o))
        action->setText(caption);
}

QGroupBox* frameOf(QWidget* w)
{
    for (QWidget* p = w ? w->parentWidget() : nullptr; p; p = p->parentWidget())
        if (auto* frame = qobject_cast<QGroupBox*>(p)) return frame;
    return nullptr;
}

} // namespace

const std::vector<ModeControl>& modeControls()
{
    static const std::vector<ModeControl> table = {
        // HydeMore: the chirp fields and their frames.
        chirpOnly("FrameDwellMultiplier"),
        chirpOnly("FrameDeltaF"),
        chirpOnly("FrameFunctions"),
        chirpOnly("FrameRampTime"),
        chirpOnly("FrameNSteps"),
        chirpOnly("FrameRampUnit"),
        chirpOnly("FrameDwellTime"),
        chirpOnly("Text22"),
        chirpOnly("Text23"),
        chirpOnly("Text25"),
        chirpOnly("Text26"),
        chirpOnly("Command17"),
        chirpOnly("Check11"),
        chirpOnly("Check12"),
        chirpOnly("Option3"),
        chirpOnly("Option4"),
        // HydeMore: the single-tone frames.
        singleOnly("Frame17"),
        singleOnly("Frame18"),
        singleOnly("Frame19"),
        singleOnly("Check2"),
        // HydeMore: never shown after a switch.
        {.objectName = "Frame7", .inChirp = false, .inSingle = false},
        {.objectName = "Text21", .inChirp = false, .inSingle = false},
        // The rest of the switch.
        {.objectName = "Command6", .inChirp = false},
        chirpOnly("Command15"),
        chirpOnly("Command50"), // "Chirp no U" sits with "CHIRP"
        chirpOnly("FrameRampPreview"),
        {.objectName = "Text1",
         .chirpCaption = "Start Freq",
         .singleCaption = "Frequency (MHz)",
         .target = T::FrameOf},
        {.objectName = "Text2",
         .chirpCaption = "Stop Freq",
         .singleCaption = "Phase (0-360)",
         .target = T::FrameOf},
        {.objectName = "Command2", .inChirp = true, .inSingle = true, .singleCaption = "1 Shot"},
        chirpOnly("Command16"),
        {.objectName = "Command3", .inChirp = true},
        {.objectName = "Command9", .inChirp = true},
        {.objectName = "Command21", .inChirp = true, .inSingle = true},
        singleOnly("Check3"),
        {.objectName = "Frame2", .inChirp = true, .inSingle = true},
        {.objectName = "txtDataIn", .inChirp = true, .inSingle = true},
        // SetMenu.
        menuInSingle("mnuFile"),
        menuInSingle("mnuPort"),
        menuInSingle("MnuCal"),
        menuInSingle("MnuHeader"),
    };
    return table;
}

void applyMode(QWidget* root, bool chirp)
{
    if (!root) return;
    QList<QWidget*> boxes;
    for (const char* name : {"Text1", "Text2"})
        boxes += root->findChildren<QWidget*>(QLatin1String(name));
    const auto holdsBox = [&](QWidget* w) {
        for (QWidget* box : boxes)
            if (w == box || w->isAncestorOf(box)) return true;
        return false;
    };

    const auto independent = [root](QWidget* w) {
        for (QWidget* p = w; p && p != root; p = p->parentWidget())
            if (p->property(kModeIndependent).toBool()) return true;
        return false;
    };

    for (const ModeControl& row : modeControls()) {
        const QString name = QLatin1String(row.objectName);
        const std::optional<bool> value = chirp ? row.inChirp : row.inSingle;
        const char* caption = chirp ? row.chirpCaption : row.singleCaption;

        QList<QObject*> targets;
        for (QWidget* w : root->findChildren<QWidget*>(name)) {
            if (independent(w)) continue;
            if (row.target == T::FrameOf) {
                if (QGroupBox* frame = frameOf(w)) targets << frame;
            }
            else {
                targets << w;
            }
        }
        if (row.target == T::Control)
            for (QAction* a : root->findChildren<QAction*>(name))
                targets << a;

        for (QObject* o : targets) {
            if (caption) setCaption(o, QString::fromLatin1(caption));
            if (!value) continue;
            if (row.property == P::Enabled) {
                if (auto* menu = qobject_cast<QMenu*>(o))
                    menu->menuAction()->setEnabled(*value);
                else if (auto* action = qobject_cast<QAction*>(o))
                    action->setEnabled(*value);
                else if (auto* w = qobject_cast<QWidget*>(o))
                    w->setEnabled(*value);
                continue;
            }
            if (auto* action = qobject_cast<QAction*>(o)) {
                action->setVisible(*value);
            }
            else if (auto* w = qobject_cast<QWidget*>(o)) {
                if (!*value && holdsBox(w)) continue;
                w->setVisible(*value);
            }
        }
    }
}

} // namespace plovan
