// VQ5WTCT: loads, edits and saves the VQ-5's transponder filter constants.
#include "ToolApp.h"
#include "TransponderDlg.h"

int main(int argc, char** argv) {
    return vq5::qt::RunTool(argc, argv, "VQ5WTCT", [] {
        return std::unique_ptr<vq5::qt::CToolDialog>(new vq5::tct::CTransponderDlg());
    });
}
