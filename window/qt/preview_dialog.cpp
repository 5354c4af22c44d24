// SPDX-License-Identifier: MIT
#include "preview_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTextBlock>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "code_page.h"
#include "errors.h"
#include "file_preview.h"

namespace tavirel {
namespace {

QString toQString(const std::u16string& s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

// A line of the file as shown: a byte that does not decode as the replacement character, one for
// one, so that the marked stretches stay where they are.
QString shownLine(const std::u16string& s) {
    QString text = toQString(s);
    for (QChar& c : text) {
        if (isReservedUnit(c.unicode())) c = QChar(0xFFFD);
    }
    return text;
}

}  // namespace

PreviewDialog::PreviewDialog(const std::u16string& path, const ConversionOptions& options, QWidget* parent)
    : QDialog(parent), path_(path), options_(options) {
    setObjectName("Preview");
    setWindowTitle("预览 - " + toQString(path));
    resize(760, 560);

    info_ = new QLabel(this);
    info_->setObjectName("PreviewInfo");
    info_->setWordWrap(true);
    info_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    text_ = new QPlainTextEdit(this);
    text_->setObjectName("PreviewText");
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setFamilies({mono.family(), "DejaVu Sans Mono", "WenQuanYi Zen Hei Mono", "Noto Sans Mono CJK SC"});
    text_->setFont(mono);

    // The warnings as a compiler's problem list: where, what kind, what the rules do there.
    warnings_ = new QTreeWidget(this);
    warnings_->setObjectName("PreviewWarnings");
    warnings_->setRootIsDecorated(false);
    warnings_->setWordWrap(true);
    warnings_->setUniformRowHeights(false);
    warnings_->setHeaderLabels({"行", "列", "种类", "说明"});
    warnings_->header()->setStretchLastSection(true);
    warnings_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    warnings_->header()->setSectionResizeMode(3, QHeaderView::Stretch);
    connect(warnings_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) showLine(item->data(0, Qt::UserRole).toULongLong());
    });

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(text_);
    split->addWidget(warnings_);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText("关闭");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    syntax_ = new QCheckBox("按语法删除注释(&S)", this);
    syntax_->setObjectName("PreviewSyntax");
    syntax_->setToolTip("按语言的语法找注释：字符串、字符和头文件名里的标记保留，每行留在原处");
    syntax_->setChecked(options_.rules == RuleSet::Syntax);
    connect(syntax_, &QCheckBox::toggled, this, [this](bool on) {
        options_.rules = on ? RuleSet::Syntax : RuleSet::Classic;
        showFile();
    });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(syntax_);
    layout->addWidget(info_);
    layout->addWidget(split, 1);
    layout->addWidget(buttons);
    showFile();
}

void PreviewDialog::showFile() {
    text_->clear();
    warnings_->clear();
    warnings_->show();
    blockOfLine_.clear();
    FilePreview preview;
    try {
        preview = previewFile(path_, options_);
    } catch (const FileError& e) {
        info_->setText("无法读取这个文件：" + QString::fromStdString(e.reason()));
        warnings_->hide();
        return;
    }

    const std::u16string why = verdictOf(preview);
    info_->setText(toQString(why.empty() ? describeFile(preview) : describeFile(preview) + u"\n" + why));

    // The whole file as a diff: removed lines on red with what the rules take out struck through,
    // the lines they become on green.
    // The pale colours carry their own dark text, readable under a dark palette too.
    QTextCharFormat same, removedLine, removedText, added, gutter;
    removedLine.setBackground(QColor(255, 236, 236));
    removedLine.setForeground(QColor(0, 0, 0));
    removedText.setBackground(QColor(248, 160, 160));
    removedText.setForeground(QColor(0, 0, 0));
    removedText.setFontStrikeOut(true);
    added.setBackground(QColor(230, 255, 230));
    added.setForeground(QColor(0, 0, 0));
    gutter.setForeground(QColor(128, 128, 128));
    // Every line reads left to right, as code does, whatever letters it holds.
    QTextOption option = text_->document()->defaultTextOption();
    option.setTextDirection(Qt::LeftToRight);
    text_->document()->setDefaultTextOption(option);
    QTextBlockFormat leftToRight;
    leftToRight.setLayoutDirection(Qt::LeftToRight);
    QTextCursor cursor(text_->document());
    cursor.setBlockFormat(leftToRight);
    bool first = true;
    for (const PreviewLine& line : preview.lines) {
        if (!first) cursor.insertBlock(leftToRight);
        first = false;
        if (line.oldLine != 0 && !blockOfLine_.count(line.oldLine))
            blockOfLine_[line.oldLine] = cursor.blockNumber();
        const char mark = line.kind == PreviewLine::Kind::Same      ? ' '
                          : line.kind == PreviewLine::Kind::Removed ? '-'
                                                                    : '+';
        const QString number = line.oldLine ? QString::number(line.oldLine) : QString();
        cursor.insertText(number.rightJustified(6) + ' ' + mark + ' ', gutter);
        const QString text = shownLine(line.text);
        if (line.kind == PreviewLine::Kind::Added) {
            cursor.insertText(text, added);
            continue;
        }
        if (line.kind == PreviewLine::Kind::Same) {
            cursor.insertText(text, same);
            continue;
        }
        qsizetype at = 0;
        for (const auto& [start, end] : line.removed) {
            cursor.insertText(text.mid(at, static_cast<qsizetype>(start) - at), removedLine);
            cursor.insertText(text.mid(static_cast<qsizetype>(start), static_cast<qsizetype>(end - start)),
                              removedText);
            at = static_cast<qsizetype>(end);
        }
        cursor.insertText(text.mid(at), removedLine);
    }
    text_->moveCursor(QTextCursor::Start);

    for (const Warning& w : preview.warnings) {
        const std::string_view kind = kindName(w.kind);
        auto* item = new QTreeWidgetItem(warnings_,
                                         {QString::number(w.line), QString::number(w.column),
                                          QString::fromUtf8(kind.data(), static_cast<qsizetype>(kind.size())),
                                          QString::fromStdString(w.text)});
        item->setData(0, Qt::UserRole, QVariant::fromValue<qulonglong>(w.line));
        item->setToolTip(3, item->text(3));
    }
    if (preview.warnings.empty()) warnings_->hide();
}

void PreviewDialog::showLine(std::size_t line) {
    const auto it = blockOfLine_.lower_bound(line);
    if (it == blockOfLine_.end()) return;
    QTextCursor cursor(text_->document()->findBlockByNumber(it->second));
    text_->setTextCursor(cursor);
    text_->centerCursor();
}

}  // namespace tavirel
