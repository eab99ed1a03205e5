// VQ5WReset: makes the connected VQ-5 restore its factory defaults and reboot.
#include "ResetDlg.h"
#include "ToolApp.h"

int main(int argc, char** argv) {
    return vq5::qt::RunTool(argc, argv, "VQ5WReset", [] {
        return std::unique_ptr<vq5::qt::CToolDialog>(new vq5::factory_reset::CResetDlg());
    });
}
