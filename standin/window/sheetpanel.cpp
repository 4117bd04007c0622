#include "sheetpanel.h"

#include "outputtarget.h"
#include "patterngrid.h"
#include "sheetfile.h"
#include "staffdocument.h"
#include "staffview.h"
#include "stickingrow.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>

namespace standin {

namespace {

    const QString kStaffSetting = QStringLiteral("staff");
    constexpr SectionKind kKinds[]
        = { SectionKind::Intro, SectionKind::Pattern, SectionKind::Transition };

    std::string key(std::string name)
    {
        for (char& c : name)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        return name;
    }

} // namespace

SheetPanel::SheetPanel(PatternGrid* grid, QPushButton* toggle, QSettings& settings, QWidget* window)
    : QObject(window)
    , mSettings(settings)
    , mWindow(window)
    , mGrid(grid)
    , mRow(new StickingRow)
    , mStaff(new StaffView)
    , mStack(new QStackedWidget)
    , mToggle(toggle)
    , mMemory(settings)
{
    auto* gridPage = new QWidget;
    auto* column = new QVBoxLayout(gridPage);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(grid, 1);
    column->addWidget(mRow);
    mStack->addWidget(gridPage);
    mStack->addWidget(mStaff);

    connect(
        new QShortcut(Qt::Key_N, window), &QShortcut::activated, mToggle, &QAbstractButton::toggle);
    connect(mToggle, &QAbstractButton::toggled, this, &SheetPanel::showStaff);
    mToggle->setChecked(mSettings.value(kStaffSetting, false).toBool());
    mStack->setCurrentIndex(mToggle->isChecked() ? 1 : 0);

    connect(mRow, &StickingRow::stickingClicked, this, &SheetPanel::cycle);
    connect(mStaff, &StaffView::stickingClicked, this, &SheetPanel::cycle);
    connect(mRow, &StickingRow::alternateRequested, this, &SheetPanel::alternate);
    connect(mStaff, &StaffView::alternateRequested, this, &SheetPanel::alternate);
}

QWidget* SheetPanel::views() const
{
    return mStack;
}

void SheetPanel::showStaff(bool on)
{
    mStack->setCurrentIndex(on ? 1 : 0);
    mSettings.setValue(kStaffSetting, on);
    (on ? static_cast<QWidget*>(mStaff) : mGrid)->setFocus();
}

void SheetPanel::addMenuEntries(QMenu* file)
{
    QAction* exportAction = file->addAction(QStringLiteral("&Export Sheet..."));
    exportAction->setObjectName(QStringLiteral("exportSheetAction"));
    exportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(exportAction, &QAction::triggered, this, &SheetPanel::exportDialog);
    QAction* print = file->addAction(QStringLiteral("&Print..."));
    print->setObjectName(QStringLiteral("printAction"));
    print->setShortcut(QKeySequence::Print);
    connect(print, &QAction::triggered, this, &SheetPanel::printDialog);
}

void SheetPanel::load(const Script& script, bool noTimeSignature, const PracticeSchedule& schedule)
{
    mSchedule = &schedule;
    mOriginal = script;
    mScript = script;
    mNoTimeSignature = noTimeSignature;
    mRow->setSchedule(&schedule);
    for (SectionKind kind : kKinds) {
        if (schedule.notes(kind).empty())
            continue;
        const QString raw = rawLineOf(schedule, kind);
        if (const Sticking* own = findSticking(script, schedule.name(kind))) {
            mMemory.remember(raw, own->hands);
            continue;
        }
        std::vector<std::string> recalled = mMemory.recall(raw);
        if (!recalled.empty() && recalled.size() <= schedule.notes(kind).size())
            mScript.stickings.push_back({ schedule.name(kind), 0, std::move(recalled) });
    }
    rebuild();
}

void SheetPanel::setPosition(const PracticeSchedule::Position& position)
{
    if (mStack->currentWidget() == mStaff)
        mStaff->setPosition(position);
}

std::vector<std::string> SheetPanel::hands(SectionKind kind) const
{
    if (!mSchedule)
        return {};
    const Sticking* sticking = findSticking(mScript, mSchedule->name(kind));
    return sticking ? trimmed(sticking->hands) : std::vector<std::string>();
}

void SheetPanel::setHands(SectionKind kind, std::vector<std::string> hands)
{
    if (!mSchedule)
        return;
    hands = trimmed(std::move(hands));
    const std::string name = mSchedule->name(kind);
    auto& all = mScript.stickings;
    const auto same = std::find_if(
        all.begin(), all.end(), [&](const Sticking& s) { return key(s.name) == key(name); });
    if (same != all.end())
        same->hands = hands;
    else
        all.push_back({ name, 0, hands });
    mMemory.remember(rawLineOf(*mSchedule, kind), hands);
    rebuild();
}

void SheetPanel::cycle(SectionKind kind, int note)
{
    if (!mSchedule || note < 0 || std::size_t(note) >= mSchedule->notes(kind).size())
        return;
    std::vector<std::string> given = hands(kind);
    if (given.size() <= std::size_t(note))
        given.resize(std::size_t(note) + 1);
    given[std::size_t(note)] = nextHand(given[std::size_t(note)]);
    setHands(kind, given);
}

void SheetPanel::alternate(SectionKind kind, int note)
{
    if (!mSchedule)
        return;
    std::vector<std::string> given = hands(kind);
    alternateFrom(given, mSchedule->notes(kind), note);
    setHands(kind, given);
}

std::string SheetPanel::scriptWithSticking(const std::string& bytes) const
{
    return withStickings(bytes, mOriginal, mScript.stickings);
}

void SheetPanel::rebuild()
{
    std::string error;
    if (!sheet::buildSheet(mScript, mNoTimeSignature, mSheet, error)) {
        mSheet = sheet::Sheet();
        emit message(QString::fromStdString("the sheet cannot be written: " + error), true);
    }
    mStaff->setSheet(&mSheet);
    std::array<std::vector<std::string>, 3> all;
    for (SectionKind kind : kKinds)
        all[std::size_t(int(kind))] = hands(kind);
    mRow->setHands(all);
}

bool SheetPanel::exportSheet(const QString& path)
{
    if (mSheet.measures.empty()) {
        emit message(QStringLiteral("No pattern to export"), true);
        return false;
    }
    const std::string target = QFile::encodeName(path).toStdString();
    std::string error;
    OutputFile file(target);
    if (!checkSheetName(target, error) || !checkOutputTarget(target, error)
        || !writeSheetFile(mSheet, file, error) || !file.commit(error)) {
        emit message(
            QStringLiteral("cannot export the sheet: ") + QString::fromStdString(error), true);
        return false;
    }
    mExportFolder = QFileInfo(path).absolutePath();
    emit message(QStringLiteral("Exported the sheet ") + path, false);
    return true;
}

void SheetPanel::exportDialog()
{
    if (mSheet.measures.empty())
        return;
    const QString musicXml = QStringLiteral("MusicXML (*.musicxml)");
    const QString pdf = QStringLiteral("PDF (*.pdf)");
    const QString svg = QStringLiteral("SVG (*.svg)");
    QString chosen = musicXml;
    const QString folder = mExportFolder.isEmpty() ? QDir::homePath() : mExportFolder;
    QString path = QFileDialog::getSaveFileName(mWindow, QStringLiteral("Export the sheet"),
        folder + u'/' + QString::fromStdString(mSheet.title) + QStringLiteral(".musicxml"),
        musicXml + QStringLiteral(";;") + pdf + QStringLiteral(";;") + svg, &chosen);
    if (path.isEmpty())
        return;
    std::string unused;
    if (!checkSheetName(QFile::encodeName(path).toStdString(), unused))
        path += chosen == pdf ? QStringLiteral(".pdf")
            : chosen == svg   ? QStringLiteral(".svg")
                              : QStringLiteral(".musicxml");
    exportSheet(path);
}

void SheetPanel::printDialog()
{
    if (mSheet.measures.empty())
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(QString::fromStdString(mSheet.title));
    QPrintDialog dialog(&printer, mWindow);
    dialog.setWindowTitle(QStringLiteral("Print the sheet"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (staff::paintPages(mSheet, printer))
        emit message(QStringLiteral("Printed the sheet"), false);
    else
        emit message(QStringLiteral("cannot print the sheet"), true);
}

} // namespace standin
