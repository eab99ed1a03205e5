// A tool dialog with nothing in its body but one frame, in the programmer's placement, on an
// engine of its own that opens `port` at the base speed: the tool shell as a test drives it. A
// test's dialog derives from it, overrides OnNotify, and calls Shutdown() in its own destructor.
#pragma once

#include "ToolDialog.h"
#include "VLPEngine.h"

#include <QGroupBox>

#include <string>

namespace vq5::test {

class CPlainToolDlg : protected qt::CToolEngineHolder<CVLPEngine>, public qt::CToolDialog {
public:
    // The programmer's window with its own caption; the port named, at the normal rate.
    CPlainToolDlg(const char* caption, ISettingsStore* store, const std::string& port)
        : CToolEngineHolder(store), CToolDialog(Info(caption), m_Engine) {
        SetBodySize(QSize(200, 100));
        auto* placeholder = new QGroupBox(Body());
        placeholder->setObjectName("1000");
        placeholder->setGeometry(5, 5, 190, 90);
        m_Engine.m_ComPort = port;
        m_Engine.m_FastBaudRate = 0;
        InitDialog(placeholder);
    }

private:
    static qt::ToolInfo Info(const char* caption) {
        qt::ToolInfo info;
        info.program = "VQ5WPrg";
        info.caption = caption;
        info.placement = "dlgWnd-1.9";
        return info;
    }
};

} // namespace vq5::test
