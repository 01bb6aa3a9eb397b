#include "cal_editor.h"

#include "cal_player.h"
#include "cal_plot.h"
#include "hex_text.h"
#include "link.h"
#include "show_centred.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace plovan {

namespace {

const QString kCaption = QStringLiteral("Edit Calibration");
const QString kFileTitle = QStringLiteral("Velmar Calibration file");
const QString kFileFilter = QStringLiteral("Velmar LUT Files (*.Cal)|*.CAL|All Files (*.*)|*.*");

struct Step {
    bool amplitude;
    std::int64_t size;
};
// UpDown1 ... UpDown6.
constexpr std::array<Step, 6> kSteps{
    {{true, 1}, {false, 1}, {true, 16}, {false, 16}, {true, 256}, {false, 256}}};
constexpr std::int64_t kMaxAmplitude = 4095;
constexpr std::int64_t kMaxPhase = 16383;

QLineEdit* readOnlyBox(const char* name, QWidget* parent)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setReadOnly(true);
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("WWWWWW")));
    return box;
}

QListWidget* list(const char* name, QWidget* parent)
{
    auto* l = new QListWidget(parent);
    l->setObjectName(QLatin1String(name));
    l->setFont(QFont(QStringLiteral("monospace")));
    l->setFixedWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 24);
    l->setMinimumHeight(l->fontMetrics().height() * 24);
    return l;
}

QString qstr(const std::string& s)
{
    return QString::fromStdString(s);
}

} // namespace

CalEditor::CalEditor(Link& link, Dialogs& dialogs, std::function<double()> clockMHz, LatestWins* settings,
                     QWidget* parent)
    : QWidget(parent), link_(link), dialogs_(dialogs), clockMHz_(std::move(clockMHz)),
      settings_(settings ? *settings : ownSettings_)
{
    setObjectName(QStringLiteral("NuCal"));
    setWindowTitle(kCaption);
    List1 = list("List1", this);
    List2 = list("List2", this);
    List3 = list("List3", this);
    auto* lists = new QGridLayout;
    lists->addWidget(new QLabel(QStringLiteral("Frequency (MHz)"), this), 0, 0);
    lists->addWidget(new QLabel(QStringLiteral("Amplitude"), this), 0, 1);
    lists->addWidget(new QLabel(QStringLiteral("Phase"), this), 0, 2);
    lists->addWidget(List1, 1, 0);
    lists->addWidget(List2, 1, 1);
    lists->addWidget(List3, 1, 2);

    Text1 = readOnlyBox("Text1", this);
    Text2 = readOnlyBox("Text2", this);
    Text3 = readOnlyBox("Text3", this);
    Text4 = readOnlyBox("Text4", this);
    Text5 = readOnlyBox("Text5", this);
    for (int n = 1; n <= 6; ++n) {
        const Step step = kSteps[std::size_t(n - 1)];
        auto* upDown = new UpDown(this);
        upDown->setObjectName(QStringLiteral("UpDown%1").arg(n));
        upDown->setToolTip((step.amplitude ? tr("Amplitude word +/- %1, sent at once")
                                           : tr("Phase word +/- %1, sent at once"))
                               .arg(step.size));
        connect(upDown->up, &QToolButton::clicked, this, [this, n] { UpDown_Click(n, +1); });
        connect(upDown->down, &QToolButton::clicked, this, [this, n] { UpDown_Click(n, -1); });
        UpDownN[std::size_t(n - 1)] = upDown;
    }
    const auto wordFrame = [this](const QString& title, QLineEdit* hex, QLineEdit* value, const QString& unit,
                                  int firstUpDown) {
        auto* frame = new QGroupBox(title, this);
        auto* g = new QGridLayout(frame);
        g->addWidget(new QLabel(QStringLiteral("Hex"), frame), 0, 0);
        g->addWidget(hex, 0, 1);
        g->addWidget(new QLabel(unit, frame), 1, 0);
        g->addWidget(value, 1, 1);
        auto* steps = new QHBoxLayout;
        for (int k = 0; k < 3; ++k) {
            auto* column = new QVBoxLayout;
            column->addWidget(UpDownN[std::size_t(firstUpDown - 1 + 2 * k)], 0, Qt::AlignHCenter);
            column->addWidget(new QLabel(QStringLiteral("%1").arg(k == 0   ? 1
                                                                  : k == 1 ? 16
                                                                           : 256),
                                         frame),
                              0, Qt::AlignHCenter);
            steps->addLayout(column);
        }
        g->addLayout(steps, 0, 2, 2, 1);
        return frame;
    };
    auto* freqFrame = new QGroupBox(QStringLiteral("Freq  Word"), this);
    (new QHBoxLayout(freqFrame))->addWidget(Text5);

    Command1 = new QPushButton(QStringLiteral("ESC"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setToolTip(QStringLiteral("Esc - Changes will be lost!"));
    Command2 = new QPushButton(QStringLiteral("Save Record"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setToolTip(QStringLiteral("Saves the current line(not to disk)"));
    Command3 = new QPushButton(QStringLiteral("Save to Disk"), this);
    Command3->setObjectName(QStringLiteral("Command3"));
    status = new QLabel(this);
    status->setObjectName(QStringLiteral("CalStatus"));
    status->setWordWrap(true);

    auto* controls = new QVBoxLayout;
    controls->addWidget(wordFrame(QStringLiteral("Amplitude"), Text1, Text3, QStringLiteral("Decimal"), 1));
    controls->addWidget(wordFrame(QStringLiteral("Phase"), Text2, Text4, QStringLiteral("Degrees"), 2));
    controls->addWidget(freqFrame);
    controls->addStretch();
    controls->addWidget(Command2);
    controls->addWidget(Command3);
    controls->addWidget(Command1);

    plot = new CalPlot(this);
    auto* top = new QHBoxLayout;
    top->addLayout(lists);
    top->addLayout(controls);
    top->addWidget(plot, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(status);
    resize(1100, 560);

    // A selection in any list selects the same row in the others; only the
    // frequency list's plays it.
    // ESC, the key as the button; the title bar's close acts as it too.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (Command1->isEnabled()) Command1_Click();
    });
    connect(List1, &QListWidget::currentRowChanged, this, [this](int row) { selectRow(row, true); });
    connect(List2, &QListWidget::currentRowChanged, this, [this](int row) { selectRow(row, false); });
    connect(List3, &QListWidget::currentRowChanged, this, [this](int row) { selectRow(row, false); });
    // Enter or a double click plays the selected row again.
    connect(List1, &QListWidget::itemActivated, this, [this] { request(InitJob); });
    connect(plot, &CalPlot::rowClicked, this, [this](int row) { List1->setCurrentRow(row); });
    connect(Command1, &QPushButton::clicked, this, &CalEditor::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &CalEditor::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &CalEditor::Command3_Click);
}

void CalEditor::openWindow()
{
    rows_ = CalRows{};
    loaded_ = false;
    recordsChanged_ = false;
    path_.clear();
    showRows();
    say({});
    showCentred(this);
    OpenLog();
}

bool CalEditor::OpenLog()
{
    const QString path = dialogs_.chooseFileToOpen(kFileTitle, kFileFilter);
    if (path.isEmpty()) return false;
    std::string error;
    const std::optional<CalRead> read = readCalFile(QFile::encodeName(path).toStdString(), &error);
    if (!read) {
        dialogs_.warn(kCaption, path + QStringLiteral(": ") + QString::fromLocal8Bit(error.c_str()));
        return false;
    }
    rows_ = read->rows;
    loaded_ = true;
    recordsChanged_ = false;
    path_ = path;
    showRows();
    if (!read->notes.empty()) {
        QStringList notes;
        for (const std::string& note : read->notes)
            notes << qstr(note);
        say(notes.join(QLatin1Char('\n')));
        dialogs_.warn(kCaption, path + QStringLiteral(":\n") + notes.join(QLatin1Char('\n')));
    }
    return true;
}

void CalEditor::showRows()
{
    const QSignalBlocker b1(List1), b2(List2), b3(List3);
    for (QListWidget* l : {List1, List2, List3})
        l->clear();
    if (loaded_) {
        for (int i = 0; i < kCalLocations; ++i) {
            const CalRow& row = rows_[std::size_t(i)];
            List1->addItem(qstr(locationMHzText(i)));
            List2->addItem(qstr(row.amplitude));
            List3->addItem(qstr(row.phase));
            if (!row.hex())
                for (QListWidget* l : {List1, List2, List3})
                    l->item(i)->setForeground(Qt::red);
        }
        plot->setRows(rows_);
    }
    plot->select(-1);
    for (QLineEdit* box : {Text1, Text2, Text3, Text4, Text5})
        box->clear();
    // Row 0 is shown, not played: a list taking the focus would otherwise
    // select it and send it unasked.
    if (loaded_) selectRow(0, false);
}

int CalEditor::selectedRow() const
{
    return List1->currentRow();
}

void CalEditor::selectRow(int row, bool play)
{
    if (row < 0 || row >= List1->count()) return;
    const int before = plot->selected();
    {
        const QSignalBlocker b1(List1), b2(List2), b3(List3);
        for (QListWidget* l : {List1, List2, List3})
            l->setCurrentRow(row);
    }
    // A trim not saved with "Save Record" is dropped on leaving its row.
    if (before >= 0 && before != row) {
        const CalRow& old = rows_[std::size_t(before)];
        plot->setRow(before, HexValue(old.amplitude), HexValue(old.phase));
    }
    const CalRow& r = rows_[std::size_t(row)];
    CaliA = HexValue(r.amplitude);
    CaliP = HexValue(r.phase);
    showWords();
    // The row's frequency word goes with the row, before the unit plays it.
    const auto word = cal::listedFrequencyWord(locationMHzText(row), clockMHz_());
    Text5->setText(word ? qstr(cal::Text5For(*word)) : QString());
    plot->select(row);
    showCaption();
    if (play) playLater();
}

void CalEditor::playLater()
{
    // Not from inside the list's own key or mouse handling: a wait for the
    // unit there lets further keys move the list under the handler's feet.
    if (playQueued_) return;
    playQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        playQueued_ = false;
        request(InitJob);
    });
}

bool CalEditor::modified() const
{
    const int row = selectedRow();
    if (recordsChanged_) return true;
    if (row < 0 || !loaded_) return false;
    const CalRow& r = rows_[std::size_t(row)];
    return CaliA != HexValue(r.amplitude) || CaliP != HexValue(r.phase);
}

void CalEditor::showCaption()
{
    QString caption = kCaption;
    if (loaded_) caption += QStringLiteral(" - ") + QFileInfo(path_).fileName();
    if (modified()) caption += QStringLiteral(" *");
    setWindowTitle(caption);
}

void CalEditor::showWords()
{
    const CalRow& r = rows_[std::size_t(std::max(selectedRow(), 0))];
    // A word that is not hex is shown as the file has it.
    Text1->setText(CaliA >= 0 ? qstr(hex4(CaliA)) : qstr(r.amplitude));
    Text3->setText(CaliA >= 0 ? QString::number(CaliA) : tr("not hex"));
    Text2->setText(CaliP >= 0 ? qstr(hex4(CaliP)) : qstr(r.phase));
    Text4->setText(CaliP >= 0 ? QString::number(phaseDegrees(CaliP)) : tr("not hex"));
}

void CalEditor::UpDown_Click(int n, int direction)
{
    if (selectedRow() < 0 || n < 1 || n > 6) return;
    const Step step = kSteps[std::size_t(n - 1)];
    std::int64_t& value = step.amplitude ? CaliA : CaliP;
    value = std::clamp<std::int64_t>(value + direction * step.size, 0,
                                     step.amplitude ? kMaxAmplitude : kMaxPhase);
    showWords();
    plot->setRow(selectedRow(), CaliA, CaliP);
    showCaption();
    request(step.amplitude ? AmplitudeJob : PhaseJob);
}

void CalEditor::request(int job)
{
    if (SavMode) return;
    // A write after the window closed, or after one the unit did not take,
    // drops the rest.
    auto write = [this, job] { return isVisible() && runJob(job); };
    const bool first = !settings_.writing();
    if (first) Disable();
    // The newest values: a row played supersedes the trims asked before it.
    if (job == InitJob)
        settings_.submit(job, std::move(write), {AmplitudeJob, PhaseJob});
    else
        settings_.submit(job, std::move(write));
    if (first) Enable();
}

bool CalEditor::runJob(int job)
{
    const int row = selectedRow();
    if (row < 0) return true;
    std::vector<std::string> lines;
    if (job == InitJob) {
        const auto init =
            cal::initLines(locationMHzText(row),
                           CalRow{Text1->text().toStdString(), Text2->text().toStdString()}, clockMHz_());
        if (!init) {
            say(tr("Row %1 is not hex: nothing is sent for it until it is corrected").arg(row));
            return true;
        }
        lines = *init;
    }
    else if (job == AmplitudeJob) {
        lines = cal::amplitudeLines(hex4(CaliA));
    }
    else {
        lines = cal::phaseLines(hex4(CaliP));
    }
    const bool ok = link_.sendWaitEach(lines);
    say(ok ? QString() : tr("The unit did not answer; the row was not played whole"));
    return ok;
}

void CalEditor::Disable()
{
    for (QPushButton* b : {Command1, Command2, Command3})
        b->setEnabled(false);
}

void CalEditor::Enable()
{
    for (QPushButton* b : {Command1, Command2, Command3})
        b->setEnabled(true);
}

void CalEditor::say(const QString& text)
{
    status->setText(text);
}

void CalEditor::Command1_Click()
{
    if (modified() && dialogs_.askYesNoCancel(
                          kCaption, tr("Changes not saved to disk will be lost. Close?")) != QMessageBox::Yes)
        return;
    settings_.clear();
    hide();
    emit closed();
}

void CalEditor::Command2_Click()
{
    const int row = selectedRow();
    if (row < 0) {
        say(tr("No row is selected: nothing saved"));
        return;
    }
    if (CaliA < 0 && CaliP < 0) {
        say(tr("Row %1 is not hex: nothing saved").arg(row));
        return;
    }
    CalRow& r = rows_[std::size_t(row)];
    // A word that is not hex stays as the file has it; the other is saved.
    if (CaliA >= 0) r.amplitude = hex4(CaliA);
    if (CaliP >= 0) r.phase = hex4(CaliP);
    recordsChanged_ = true;
    List2->item(row)->setText(qstr(r.amplitude));
    List3->item(row)->setText(qstr(r.phase));
    for (QListWidget* l : {List1, List2, List3})
        l->item(row)->setForeground(r.hex() ? palette().text() : QBrush(Qt::red));
    plot->setRow(row, CaliA, CaliP);
    if (r.hex())
        say(tr("Row %1 saved: %2 (not to disk)").arg(row).arg(qstr(r.line())));
    else
        say(tr("Row %1: the %2 word saved; the %3 \"%4\" is not hex and is kept as it is")
                .arg(row)
                .arg(CaliA >= 0 ? tr("amplitude") : tr("phase"), CaliA >= 0 ? tr("phase") : tr("amplitude"),
                     qstr(CaliA >= 0 ? r.phase : r.amplitude)));
    showCaption();
}

bool CalEditor::CloseFile2()
{
    const QString path = chooseFileToWrite(dialogs_, kFileTitle, kFileFilter, path_);
    if (path.isEmpty()) return false;
    const FileStatus written = writeCalFile(path, rows_);
    if (!written.ok()) {
        dialogs_.warn(kCaption, written.error);
        return false;
    }
    path_ = path;
    recordsChanged_ = false;
    showCaption();
    return true;
}

void CalEditor::Command3_Click()
{
    if (!loaded_) return;
    SavMode = true;
    // Cancelled or failed, the editor stays open with its rows.
    const bool saved = CloseFile2();
    if (saved) {
        settings_.clear();
        hide();
        emit closed();
    }
    SavMode = false;
}

void CalEditor::closeEvent(QCloseEvent* event)
{
    // The title bar's close acts as "ESC".
    event->ignore();
    if (Command1->isEnabled()) Command1_Click();
}

} // namespace plovan
