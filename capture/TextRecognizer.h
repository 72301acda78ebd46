#pragma once

// The seam between a text capture and the engine that reads text in images.

#include <QCoroTask>
#include <QImage>
#include <QString>

#include <variant>

namespace quandrel {

struct TextRecognitionError {
    QString message; // for the log
};

// The recognised text, rows joined with "\n" (no trailing newline); empty when the image
// holds no text.
using TextRecognitionResult = std::variant<QString, TextRecognitionError>;

class TextRecognizer {
public:
    virtual ~TextRecognizer() = default;

    // A text capture is about to ask: start loading the engine now, so the load overlaps the
    // person's selection. Returns at once.
    virtual void prepare() = 0;

    // Reads the text in the image away from the main thread; resumes on the main thread.
    virtual QCoro::Task<TextRecognitionResult> recognizeText(QImage image) = 0;
};

} // namespace quandrel
