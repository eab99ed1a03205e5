// VQ5WInfo: lists what a connected VQ-5 tells about itself.
#include "InfoDlg.h"
#include "ToolApp.h"

int main(int argc, char** argv) {
    return vq5::qt::RunTool(argc, argv, "VQ5WInfo", [] {
        return std::unique_ptr<vq5::qt::CToolDialog>(new vq5::information::CInfoDlg());
    });
}
