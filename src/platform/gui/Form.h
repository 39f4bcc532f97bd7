#pragma once

#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>

#include <type_traits>

namespace pellora::platform {

// Which windows are loaded. The program ends when start-up has returned and
// no window is loaded any more; a loaded window keeps it alive even hidden.
class Forms final {
public:
    static int loadedCount();
    // After start-up has returned: end the program as soon as none is loaded.
    static void endWhenNoneLoaded();
    // For windows outside the form model (viewers) that keep the program alive
    // while they are open.
    static void hold(QWidget *window);

    static void loaded(QWidget *form);
    static void unloaded(QWidget *form);
};

inline constexpr bool vbModal = true;
inline constexpr bool vbModeless = false;

// The life of every window of the program: loaded on first access (its
// Form_Load runs, whether or not it is ever shown), shown modal or modeless,
// and unloaded explicitly: Form_QueryUnload may refuse, then Form_Unload,
// then the window is gone. Base is QDialog or QMainWindow.
template <class Base> class Form : public Base {
public:
    using Base::Base;
    ~Form() override
    {
        if (m_loaded)
            Forms::unloaded(this);
    }

    bool isLoaded() const { return m_loaded; }

    void Load()
    {
        if (m_loaded)
            return;
        m_loaded = true;
        m_unloading = false;
        Forms::loaded(this);
        Form_Load();
    }

    void Show(bool modal = vbModeless)
    {
        Load();
        if (!modal) {
            Base::show();
            return;
        }
        // A modal window runs its own loop until it is unloaded.
        QEventLoop loop;
        m_modalLoop = &loop;
        Base::setWindowModality(Qt::ApplicationModal);
        Base::show();
        if (m_loaded)
            loop.exec(QEventLoop::DialogExec);
        m_modalLoop = nullptr;
    }

    // False when the window refused to go (Form_QueryUnload set cancel).
    bool Unload()
    {
        if (!m_loaded)
            return true;
        if (m_unloading)
            return true;
        bool cancel = false;
        Form_QueryUnload(cancel);
        if (cancel)
            return false;
        Form_Unload(cancel);
        if (cancel)
            return false;
        m_unloading = true;
        m_loaded = false;
        Base::hide();
        if (m_modalLoop)
            m_modalLoop->quit();
        Forms::unloaded(this);
        if (m_deleteOnUnload)
            Base::deleteLater();
        return true;
    }

    // Set by the window's global accessor: the window is destroyed on unload.
    void setDeleteOnUnload(bool on) { m_deleteOnUnload = on; }

    // Showing a window loads it first, however it is shown.
    void setVisible(bool visible) override
    {
        if (visible)
            Load();
        Base::setVisible(visible);
    }

protected:
    virtual void Form_Load() { }
    virtual void Form_QueryUnload(bool & /*cancel*/) { }
    virtual void Form_Unload(bool & /*cancel*/) { }

    void closeEvent(QCloseEvent *event) override
    {
        // The close box unloads; a refusal keeps the window open.
        if (Unload())
            event->accept();
        else
            event->ignore();
    }

    // A dialog's Esc and its accept/reject paths end in an unload too.
    void done(int result)
    {
        if constexpr (std::is_base_of_v<QDialog, Base>) {
            if (Unload())
                Base::setResult(result);
        }
    }

private:
    bool m_loaded = false;
    bool m_unloading = false;
    bool m_deleteOnUnload = false;
    QEventLoop *m_modalLoop = nullptr;
};

// The global name of a window, as the program refers to it: the first access
// creates and loads it; after it was unloaded the next access makes a new one.
template <class F> QPointer<F> &formSlot()
{
    static QPointer<F> instance;
    return instance;
}

template <class F> F &formInstance()
{
    QPointer<F> &instance = formSlot<F>();
    if (!instance || !instance->isLoaded()) {
        instance = new F;
        instance->setDeleteOnUnload(true);
        instance->Load();
    }
    return *instance;
}

// Whether the global window is loaded now, without loading it.
template <class F> bool formIsLoaded()
{
    const QPointer<F> &instance = formSlot<F>();
    return instance && instance->isLoaded();
}

} // namespace pellora::platform
