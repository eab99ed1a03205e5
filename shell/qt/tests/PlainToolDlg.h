// A tool dialog with nothing in its body but one frame, on an engine of its own that opens
// `port` at the base speed: the tool shell as a test drives it. A test's dialog derives from it,
// overrides OnNotify, and calls Shutdown() in its own destructor.
#pragma once

#include "ToolDialog.h"
#include "VLPEngine.h"

#include <QGroupBox>

#include <string>

namespace vq5::test {

class CPlainToolDlg : protected qt::CToolEngineHolder<CVLPEngine>, public qt::CToolDialog {
public:
    CPlainToolDlg(qt::ToolInfo info, ISettingsStore* store, const std::string& port)
        : CToolEngineHolder(store), CToolDialog(std::move(info), m_Engine) {
        SetBodySize(QSize(200, 100));
        auto* placeholder = new QGroupBox(Body());
        placeholder->setObjectName("1000");
        placeholder->setGeometry(5, 5, 190, 90);
        m_Engine.m_ComPort = port;
        m_Engine.m_FastBaudRate = 0;
        InitDialog(placeholder);
    }
};

} // namespace vq5::test
