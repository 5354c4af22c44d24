// SPDX-License-Identifier: MIT
// The preview of one file: its change line by line, the removed stretches marked, its line ends
// and code page, and its warnings, each of which shows its line when clicked. Read-only; it
// reads the file once when opened and writes nothing.
#pragma once

#include <QDialog>
#include <map>
#include <string>

#include "conversion.h"

class QCheckBox;
class QLabel;
class QTreeWidget;
class QPlainTextEdit;

namespace tavirel {

class PreviewDialog : public QDialog {
public:
    /// The preview by the rules of `options`, the window's; its 按语法删除注释 box shows the
    /// other rules' result for the same file.
    PreviewDialog(const std::u16string& path, const ConversionOptions& options = {},
                  QWidget* parent = nullptr);

    /// Brings the line `line` of the file (1-based) into view in the middle of the change.
    void showLine(std::size_t line);

private:
    void showFile();

    std::u16string path_;
    ConversionOptions options_;
    QCheckBox* syntax_;
    QLabel* info_;
    QPlainTextEdit* text_;
    QTreeWidget* warnings_;
    std::map<std::size_t, int> blockOfLine_;  // the file's line to the text's block that shows it
};

}  // namespace tavirel
