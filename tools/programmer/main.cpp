// VQ5WPrg: reads, edits and writes the whole configuration of a VQ-5.
#include "ProgrammerDlg.h"
#include "ToolApp.h"

int main(int argc, char** argv) {
    return vq5::qt::RunTool(argc, argv, "VQ5WPrg", [] {
        return std::unique_ptr<vq5::qt::CToolDialog>(new vq5::programmer::CProgrammerDlg());
    });
}
