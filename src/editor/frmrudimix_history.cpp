// The history of pattern changes: every user action is one step on a QUndoStack that holds the
// pattern before and after it. Undo and redo put a pattern back into the columns the way the
// reader fills them, and the line and the descriptions are then rebuilt by the writer, so the
// line is always what the columns give.
#include "cellcheckbox.h"
#include "frmrudimix.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QScrollBar>
#include <QUndoCommand>
#include <QUndoStack>
#include <chrono>
#include <utility>

namespace {

constexpr std::int64_t kMergeMs = 1000;

class PatternCommand : public QUndoCommand {
public:
    PatternCommand(frmRudimix& editor, frmRudimix::Pattern before, frmRudimix::Pattern after,
        int mergeId, std::int64_t time)
        : mEditor(editor)
        , mBefore(std::move(before))
        , mAfter(std::move(after))
        , mMergeId(mergeId)
        , mTime(time)
    {
    }

    int id() const override { return mMergeId; }
    void undo() override { mEditor.applyPattern(mBefore); }
    void redo() override
    {
        // The first redo comes as the step is pushed: the columns hold its pattern already.
        if (mDone)
            mEditor.applyPattern(mAfter);
        mDone = true;
    }

    // Only steps of one bar share an id. A later click less than a second after this step's
    // latest one joins it; should the bar be back where it was, the step goes altogether.
    bool mergeWith(const QUndoCommand* other) override
    {
        const auto* next = static_cast<const PatternCommand*>(other);
        if (next->mTime < mTime || next->mTime - mTime >= kMergeMs)
            return false;
        mAfter = next->mAfter;
        mTime = next->mTime;
        setObsolete(mAfter == mBefore);
        return true;
    }

private:
    frmRudimix& mEditor;
    frmRudimix::Pattern mBefore;
    frmRudimix::Pattern mAfter;
    int mMergeId;
    std::int64_t mTime;
    bool mDone = false;
};

std::int64_t steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

frmRudimix::PatternStep::PatternStep(frmRudimix& editor)
    : mEditor(editor)
{
    ++mEditor.mStepDepth;
}

frmRudimix::PatternStep::~PatternStep()
{
    if (--mEditor.mStepDepth == 0)
        mEditor.recordStep(-1);
}

// After the load: from here on every change of the pattern is recorded.
void frmRudimix::createHistory()
{
    undoStack = new QUndoStack(this);
    undoStack->setObjectName(QStringLiteral("undoStack"));
    undoStack->setUndoLimit(kUndoLimit);
    historyClock = steadyMs;

    // Shortcuts of the whole window, wherever the focus is in it; they need no menu entry.
    const auto shortcut = [this](const char* name, const QList<QKeySequence>& keys) {
        auto* action = new QAction(this);
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        return action;
    };
    actUndo = shortcut("actUndo", { QKeySequence(Qt::CTRL | Qt::Key_Z) });
    actRedo = shortcut("actRedo",
        { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y) });
    connect(actUndo, &QAction::triggered, this, &frmRudimix::editUndo);
    connect(actRedo, &QAction::triggered, this, &frmRudimix::editRedo);

    mRecorded = currentPattern();
    mHistoryReady = true;
}

// When a modal window over the editor closes and nothing has the focus (no window manager gave
// it back), the editor takes it again, so that the shortcuts reach it.
bool frmRudimix::event(QEvent* e)
{
    if (e->type() == QEvent::WindowUnblocked && !QApplication::activeWindow() && isVisible())
        activateWindow();
    return QMainWindow::event(e);
}

// Neither while a modal window is open over the editor nor in the middle of another action.
void frmRudimix::editUndo()
{
    if (!QApplication::activeModalWidget() && mStepDepth == 0 && !mApplying)
        undoStack->undo();
}

void frmRudimix::editRedo()
{
    if (!QApplication::activeModalWidget() && mStepDepth == 0 && !mApplying)
        undoStack->redo();
}

void frmRudimix::recordStep(int mergeId)
{
    if (!mHistoryReady || mApplying || mStepDepth > 0)
        return;
    Pattern now = currentPattern();
    if (now == mRecorded)
        return;
    auto* step = new PatternCommand(*this, std::move(mRecorded), now, mergeId, historyClock());
    mRecorded = std::move(now);
    undoStack->push(step);
}

frmRudimix::Pattern frmRudimix::currentPattern() const
{
    Pattern pattern;
    pattern.numNotes = fiNumNotes;
    pattern.columns.reserve(std::size_t(columnCount()));
    for (int i = 0; i < columnCount(); ++i) {
        ColumnValues column;
        column.resPosition = std::int16_t(VertRes(i)->value());
        column.volPosition = std::int16_t(VertVolume(i)->value());
        column.flammed = chkFlammed(i)->isChecked();
        for (int letter = 0; letter < 6; ++letter)
            if (chkVoice(letter, i)->isChecked())
                column.voices = std::int16_t(column.voices | (1 << letter));
        pattern.columns.push_back(column);
    }
    return pattern;
}

void frmRudimix::applyPattern(const Pattern& pattern)
{
    mApplying = true;
    const Pattern now = currentPattern();
    std::vector<int> changed;
    // As the reader fills the columns: their change events leave the line alone meanwhile.
    fbReadingRaw = true;
    for (int i = 0; i < std::min<int>(columnCount(), int(pattern.columns.size())); ++i) {
        const ColumnValues& column = pattern.columns[std::size_t(i)];
        if (column == now.columns[std::size_t(i)])
            continue;
        changed.push_back(i);
        VertRes(i)->setValue(column.resPosition);
        VertVolume(i)->setValue(column.volPosition);
        chkFlammed(i)->setChecked(column.flammed);
        for (int letter = 0; letter < 6; ++letter)
            chkVoice(letter, i)->setChecked((column.voices & (1 << letter)) != 0);
    }
    fbReadingRaw = false;

    if (pattern.numNotes != fiNumNotes)
        SetNumberOfNotes(pattern.numNotes); // the range bars as Set Number Of Notes leaves them
    else if (!changed.empty())
        UpdateRAWtext(-1);
    // A column out of use keeps its values; its description follows them all the same.
    for (int i : changed)
        if (i >= fiNumNotes)
            (void)MakeARAWsub(std::int16_t(i));
    mRecorded = currentPattern();
    mApplying = false;
}
