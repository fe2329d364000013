; The installer's own texts in its three languages (UTF-8). The pages themselves take
; NSIS's translations of each language.

LangString closingRunningCopy ${LANG_ENGLISH} "Closing the running Quorvalinthexa..."
LangString closingRunningCopy ${LANG_SPANISHINTERNATIONAL} "Cerrando Quorvalinthexa, que está en ejecución..."
LangString closingRunningCopy ${LANG_RUSSIAN} "Закрытие запущенной программы Quorvalinthexa..."

LangString stillRunning ${LANG_ENGLISH} "Quorvalinthexa is still running. Please close it, then choose Retry."
LangString stillRunning ${LANG_SPANISHINTERNATIONAL} "Quorvalinthexa sigue en ejecución. Ciérrelo y elija Reintentar."
LangString stillRunning ${LANG_RUSSIAN} "Quorvalinthexa всё ещё работает. Закройте программу и нажмите «Повтор»."

LangString replacing ${LANG_ENGLISH} "Replacing the installed version"
LangString replacing ${LANG_SPANISHINTERNATIONAL} "Reemplazando la versión instalada"
LangString replacing ${LANG_RUSSIAN} "Замена установленной версии"

LangString firewallAdded ${LANG_ENGLISH} "Windows Firewall: inbound rule added"
LangString firewallAdded ${LANG_SPANISHINTERNATIONAL} "Firewall de Windows: regla de entrada añadida"
LangString firewallAdded ${LANG_RUSSIAN} "Брандмауэр Windows: добавлено правило для входящих подключений"

LangString firewallFailed ${LANG_ENGLISH} "Windows Firewall: the inbound rule could not be added; allow the program in the firewall yourself"
LangString firewallFailed ${LANG_SPANISHINTERNATIONAL} "Firewall de Windows: no se pudo añadir la regla de entrada; permita el programa en el firewall usted mismo"
LangString firewallFailed ${LANG_RUSSIAN} "Брандмауэр Windows: не удалось добавить правило для входящих подключений; разрешите программу в брандмауэре вручную"

LangString programSection ${LANG_ENGLISH} "Quorvalinthexa"
LangString programSection ${LANG_SPANISHINTERNATIONAL} "Quorvalinthexa"
LangString programSection ${LANG_RUSSIAN} "Quorvalinthexa"

LangString settingsSection ${LANG_ENGLISH} "My settings (language, store folder, tray)"
LangString settingsSection ${LANG_SPANISHINTERNATIONAL} "Mi configuración (idioma, carpeta de destino, bandeja)"
LangString settingsSection ${LANG_RUSSIAN} "Мои настройки (язык, папка для файлов, трей)"
