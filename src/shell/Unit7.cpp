#include "shell/Unit7.h"

#include "shell/pictures.h"
#include "ui/dialogs.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

namespace orv {

LinkArea::LinkArea(QString address, QWidget* parent) : QWidget(parent), address_(std::move(address)) {
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_NoSystemBackground);
    setToolTip(address_);
}

void LinkArea::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        ui::open_url(address_);
}

namespace {

QTextEdit* text_field(QWidget* parent, const char* name, const QString& html, int height) {
    auto* e = new QTextEdit(parent);
    e->setObjectName(name);
    e->setReadOnly(true);
    e->setFrameShape(QFrame::NoFrame);
    e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    e->setTextInteractionFlags(Qt::TextSelectableByMouse);
    e->setHtml(html);
    e->selectAll();
    e->setAlignment(Qt::AlignCenter);
    e->setTextCursor(QTextCursor(e->document()));
    e->setFixedHeight(height);
    // Selections are collapsed at once: the texts are for reading only.
    QObject::connect(e, &QTextEdit::selectionChanged, e, [e] {
        QTextCursor c = e->textCursor();
        if (c.hasSelection()) {
            c.clearSelection();
            e->setTextCursor(c);
        }
    });
    return e;
}

} // namespace

TForm7::TForm7(QWidget* parent)
    // Topmost: the main window is disabled while the credits show, and must
    // not be raised over the one window that takes the input.
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint) {
    setObjectName("Form7");
    setWindowTitle(QStringLiteral("Créditos"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::Base, Qt::white);
    setPalette(pal);
    setFixedSize(531, 697);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(6);

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setPixmap(ui::splash_picture());
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setCursor(Qt::PointingHandCursor);
    layout->addWidget(Image1);

    RichEdit1 = text_field(
        this, "RichEdit1",
        QStringLiteral("<b>Software para pós-processamento em elementos finitos 2D e 3D.</b>"), 28);
    RichEdit2 = text_field(this, "RichEdit2",
                           QStringLiteral("<b>Versão 2.0<br>Grupo de Mecânica Computacional<br>"
                                          "Universidade Federal<br>Escola de Engenharia<br>"
                                          "Departamento de Engenharia de Estruturas</b>"),
                           96);
    RichEdit3 = text_field(
        this, "RichEdit3",
        QStringLiteral("<b>Autores:<br>Equipe de desenvolvimento do Orvanel<br>Brasil, 2024</b>"), 60);
    RichEdit4 = text_field(this, "RichEdit4",
                           QStringLiteral("Este programa destina-se ao uso acadêmico e de pesquisa.<br>"
                                          "É distribuído sem garantia de qualquer natureza.<br>"
                                          "Os autores não se responsabilizam por danos decorrentes<br>"
                                          "do uso dos resultados aqui apresentados."),
                           78);
    RichEdit5 = text_field(this, "RichEdit5",
                           QStringLiteral("A interface gráfica foi construída com a API OpenGL<br>"
                                          "e com a biblioteca Qt."),
                           44);
    for (QTextEdit* e : {RichEdit1, RichEdit2, RichEdit3, RichEdit4, RichEdit5})
        layout->addWidget(e);
    layout->addStretch(1);

    Link1 = new LinkArea(QStringLiteral("https://www.opengl.org/"), RichEdit5->viewport());
    Link1->setObjectName("Link1");
    Link2 = new LinkArea(QStringLiteral("https://www.qt.io/"), RichEdit5->viewport());
    Link2->setObjectName("Link2");
}

void TForm7::place_links() {
    // Lay each invisible area over its word as the text is laid out now.
    auto over_word = [this](LinkArea* area, const QString& word) {
        QTextCursor c = RichEdit5->document()->find(
            word, 0, QTextDocument::FindCaseSensitively | QTextDocument::FindWholeWords);
        if (c.isNull()) return;
        QTextCursor start(RichEdit5->document());
        start.setPosition(c.selectionStart());
        QTextCursor end(RichEdit5->document());
        end.setPosition(c.selectionEnd());
        const QRect a = RichEdit5->cursorRect(start), b = RichEdit5->cursorRect(end);
        area->setGeometry(QRect(a.topLeft(), b.bottomRight()).adjusted(-1, 0, 1, 0));
        area->raise();
        area->show();
    };
    over_word(Link1, QStringLiteral("OpenGL"));
    over_word(Link2, QStringLiteral("Qt"));
}

void TForm7::show_centred(QWidget* over) {
    if (over) move(over->geometry().center() - QPoint(width() / 2, height() / 2));
    show();
    raise();
    activateWindow();
}

void TForm7::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    place_links();
}

void TForm7::closeEvent(QCloseEvent* event) {
    event->accept();
    hide();
    emit closed();
}

} // namespace orv
