// CLinkLabel: a text control that looks and behaves like a link in a web page: coloured and
// underlined text, the hand cursor, the hover colour while the mouse is over it, the visited
// colour once opened, a tooltip with its target, and an open action through the desktop with
// a fallback to the browser command in $BROWSER.
#pragma once

#include <QColor>
#include <QLabel>
#include <QString>

#include <functional>

namespace vq5::qt {

class CLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit CLinkLabel(const QString& text = {}, QWidget* parent = nullptr);

    // Makes the label a link (the counterpart of binding it to its dialog control, after its
    // geometry is set): an empty target takes the text; an empty text shows the target; the
    // font gets its underline, the control is shrunk to its text, the cursor and the tooltip
    // are set.
    void Prepare();
    // Instead of Prepare, for a label that has no target: shown as plain text (no underline,
    // no link colour, no hand cursor, no tooltip); a click does nothing.
    void ShowAsPlainText();
    bool IsPlainText() const { return m_Plain; }
    void SetTarget(const QString& target); // refits and updates the tooltip once prepared
    QString Target() const { return m_Target; }
    void SetUsed(bool used);
    bool Used() const { return m_Visited; }
    bool Over() const { return m_Over; }
    // The colour the text is painted in now.
    QColor CurrentColour() const;
    void SetAdjustToFit(bool on) { m_AdjustToFit = on; }
    void SetUnderline(bool on);

    // Shrinks the control to its text, keeping its alignment's anchor (left, centre, right;
    // top or vertical centre).
    void AdjustToFit();

    // Opens the target; returns the platform's result code: above 32 is success.
    static int OpenTarget(const QString& target);
    // Test seams: what opens a target (default: the desktop, then $BROWSER), and where the
    // error box goes (default: a warning box, after the warning beep).
    static void SetOpener(std::function<int(const QString& target)> opener);
    static void SetErrorReporter(std::function<void(QWidget* label, const QString& text)> reporter);

    // The click: opens the target; on success visited, otherwise the error box.
    void Activate();

    QColor m_LinkColour{0, 0, 238};
    QColor m_VisitedColour{85, 26, 139};
    QColor m_HoverColour;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetOver(bool over);
    void UpdateColour();

    bool m_Over = false;
    bool m_Visited = false;
    bool m_Underline = true;
    bool m_AdjustToFit = true;
    bool m_Prepared = false;
    bool m_Plain = false;
    QString m_Target;
};

} // namespace vq5::qt
