#include "Selection.h"

#include "KeySender.h"
#include "Pasteboard.h"
#include "SelectedText.h"

namespace tovan {

Selection::Selection(std::shared_ptr<SelectedText> selected, std::shared_ptr<Pasteboard> board,
                     std::shared_ptr<KeySender> keys, After after)
    : selected_(std::move(selected)), board_(std::move(board)), keys_(std::move(keys)), after_(std::move(after)) {}

std::optional<QString> Selection::viaAccessibility() { return selected_->selection(); }

void Selection::viaCopy(std::function<void(std::optional<QString>)> completion) {
    if (*capturing_) {
        completion(std::nullopt);
        return;
    }
    *capturing_ = true;
    auto saved = board_->items();
    const int64_t count = board_->changeCount();
    keys_->sendCopy();
    after_(copyWaitMs, [board = board_, capturing = capturing_, saved = std::move(saved), count,
                        completion = std::move(completion)] {
        std::optional<QString> text;
        if (board->changeCount() != count) {
            text = board->string();
            board->clear();
            if (!saved.empty()) board->write(saved);
        }
        *capturing = false;
        completion(text);
    });
}

}  // namespace tovan
