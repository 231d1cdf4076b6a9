#pragma once
// Credits window: the picture, the program's texts and two links that open
// the web sites of the libraries named, in the default browser.

#include <QWidget>

class QLabel;
class QTextEdit;

namespace orv {

// An invisible clickable area laid over a name in a text; a click opens `address`.
class LinkArea : public QWidget {
    Q_OBJECT
  public:
    LinkArea(QString address, QWidget* parent);
    const QString& address() const { return address_; }

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QString address_;
};

class TForm7 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm7(QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QTextEdit* RichEdit1 = nullptr; // the one-line description
    QTextEdit* RichEdit2 = nullptr; // version and makers
    QTextEdit* RichEdit3 = nullptr; // authors
    QTextEdit* RichEdit4 = nullptr; // academic use and liability notice
    QTextEdit* RichEdit5 = nullptr; // built with ... (the two links)
    LinkArea* Link1 = nullptr;      // over "OpenGL"
    LinkArea* Link2 = nullptr;      // over "Qt"

    // Shows the window centred on `over`, above other windows.
    void show_centred(QWidget* over);

  signals:
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void place_links();
};

} // namespace orv
