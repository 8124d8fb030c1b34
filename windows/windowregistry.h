// The program's two windows, each existing at most once: referring to one that is not loaded
// creates it from its layout (its load step runs in the constructor); unloading destroys it
// with every control it holds. The registry also carries out the hand-overs between them.
#pragma once

#include <QObject>
#include <QPointer>

class Form1;
class Form2;
class QImage;

class WindowRegistry : public QObject
{
    Q_OBJECT
public:
    explicit WindowRegistry(QObject *parent = nullptr);
    // Destroys the windows still loaded.
    ~WindowRegistry() override;

    // The window, created and loaded first when it is not loaded. Not shown.
    Form1 *form1();
    Form2 *form2();

    bool isForm1Loaded() const { return !m_form1.isNull(); }
    bool isForm2Loaded() const { return !m_form2.isNull(); }

    // Hides the window at once and destroys it when control returns to the event loop, so that
    // it may be unloaded from inside one of its own handlers. From the call on it counts as not
    // loaded: the next reference creates a new one.
    void unloadForm1();
    void unloadForm2();

private:
    void Form1_LoadPicture();
    void Form2_Confirmed(const QImage &picture);

    QPointer<Form1> m_form1;
    QPointer<Form2> m_form2;
};
