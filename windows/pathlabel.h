// The chooser's path label: a path shown whole, broken anywhere (a path has few spaces) over as
// many lines as the label's height holds, and shortened in the middle only when even that does
// not fit. Its text, tooltip and accessible description are always the whole path.
#pragma once

#include <QLabel>
#include <QStringList>

class PathLabel : public QLabel
{
    Q_OBJECT
public:
    explicit PathLabel(QWidget *parent = nullptr);

    void setPath(const QString &path);

    // The lines as the label shows them at its size.
    QStringList shownLines() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString shownText() const;
};
