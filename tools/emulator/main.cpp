// VQ5WVLP: plays the vehicle's Velto on-board system for a VQ-5 on the bench.
#include "EmuDlg.h"
#include "ToolApp.h"

int main(int argc, char** argv) {
    return vq5::qt::RunTool(argc, argv, vq5::emu::kProgramName,
                            [] { return std::unique_ptr<vq5::qt::CToolDialog>(new vq5::emu::CEmuDlg()); });
}
