// The files of the context menus, on the front end's dialog and the
// platform's file service: what each dialog offers and what the window says
// are core/text_files.h's.
#include "core/form1.h"
#include "core/text_util.h"

FileChoice Form1::AskFile(const TextFileDialog& dialog) {
    if (!services_.fileDialog)
        return {};
    return services_.fileDialog(dialog);
}

void Form1::OpenTextFile() {
    const FileChoice choice = AskFile(OpenTextDialog());
    if (choice.path.empty() || !services_.files.read)
        return;
    std::u16string error;
    const std::optional<DecodedText> text =
        ::OpenTextFile(services_.files.read, choice.path, choice.name, &error);
    if (!text) {
        MsgBox(error);
        return;
    }
    Text3->SetText(text->text);
    Text3->SetSelStart(0);
    // Shown over the text, so that the replaced places can be found in it.
    if (text->replaced)
        MsgBox(ReplacedNotice(choice.name, *text));
}

void Form1::SaveText(const TextFileDialog& dialog, const ui::TextBox* box) {
    const FileChoice choice = AskFile(dialog);
    if (choice.path.empty() || !services_.files.save)
        return;
    const std::optional<std::string> bytes =
        EncodeText(box->Text(), EncodingOfFilter(dialog, choice.filter));
    if (!bytes) {
        MsgBox(kUnencodableMessage);
        return;
    }
    const std::string reason = services_.files.save(choice.path, *bytes);
    if (!reason.empty())
        MsgBox(UnwritableFileMessage(choice.name, Utf16FromUtf8(reason)));
}

void Form1::SaveTextAs() {
    SaveText(SaveTextAsDialog(), Text3);
}

void Form1::SaveLog() {
    SaveText(SaveLogDialog(), Text4);
}

void Form1::OpenAnalysis() {
    if (services_.showAnalysis)
        services_.showAnalysis();
}
