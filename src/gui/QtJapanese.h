#pragma once

namespace edi {

// Qt's own texts (message-box buttons, the context menus of input fields, standard dialogs) in
// Japanese, whatever the user's locale: every text an operator sees is Japanese. False when the
// translation is not installed; the windows then still work, with Qt's English texts.
bool installQtJapanese();

}  // namespace edi
