// VQ5WTest: shows the VQ-5's input and output lines live.
#include "TestDlg.h"
#include "ToolApp.h"

int main(int argc, char** argv) {
    return vq5::qt::RunTool(argc, argv, vq5::io::kProgramName,
                            [] { return std::unique_ptr<vq5::qt::CToolDialog>(new vq5::io::CTestDlg()); });
}
