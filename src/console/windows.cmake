# placeholder: the Qt windows
