#include "core/vxwords.h"

#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace vx {

namespace {

using TDefaultRow = std::array<const char *, vxMsgWordCount>;

// Built-in captions, rows msEnglish..msGreek, one line a word in word order.
// The French row keeps three Spanish texts (lock preview, copy result,
// advanced) that existing forms and screenshots show.
constexpr std::array<TDefaultRow, 7> kDefaultWords = {{
    // msEnglish
    {"Preview",
     "Source",
     "Result",
     "OK",
     "Cancel",
     "Lock preview",
     "Copy Result to Source",
     "Contrast",
     "Brightness",
     "Hue",
     "Saturation",
     "Value",
     "Base color",
     "New color",
     "Luminosity",
     "Red",
     "Green",
     "Blue",
     "Filter values",
     "Presets",
     "Divisor",
     "Load",
     "Save",
     "Equalization",
     "Threshold",
     "Equalize",
     "Histogram",
     "Gray",
     "Light",
     "Left",
     "Top",
     "Width",
     "Height",
     "Color",
     "Source image quantity",
     "Lens",
     "Refraction",
     "Parameters Preview",
     "Quality",
     "DCT method",
     "Smoothing factor",
     "Gray scale",
     "Optimal Huffman",
     "Original size",
     "Compressed size",
     "Advanced",
     "Progressive",
     "Compression",
     "Image index",
     "Photometric",
     "Scanned document info",
     "Name",
     "Description",
     "Page name",
     "Page number",
     "of",
     "Horiz. Position (inch)",
     "Vert. Position (inch)",
     "Colors",
     "Transparent",
     "Transparent color",
     "Interlaced",
     "Background",
     "Horiz. Position",
     "Vert. Position",
     "Delay time",
     "Filter",
     "Wave",
     "Amplitude",
     "Wave length",
     "Phase",
     "Reflective",
     "User filter",
     "Morphing filters",
     "Window size",
     "Maximum",
     "Minimum",
     "Opening",
     "Closing",
     "Rotate",
     "Flip",
     "Horizontal",
     "Vertical",
     "Frequency domain image",
     "Select the region to clean",
     "Clear",
     "Reset"},
    // msItalian
    {"Anteprima",
     "Sorgente",
     "Risultato",
     "OK",
     "Annulla",
     "Blocca anteprima",
     "Copia risultato nella sorgente",
     "Contrasto",
     "Luminosità",
     "Tonalità",
     "Saturazione",
     "Valore",
     "Colore base",
     "Nuovo colore",
     "Luminanza",
     "Rosso",
     "Verde",
     "Blu",
     "Valori del filtro",
     "Predefiniti",
     "Divisore",
     "Carica",
     "Salva",
     "Equalizzazione",
     "Soglia",
     "Equalizza",
     "Istogramma",
     "Grigio",
     "Luce",
     "Sinistra",
     "Alto",
     "Larghezza",
     "Altezza",
     "Colore",
     "Quantità immagine sorgente",
     "Lente",
     "Rifrazione",
     "Anteprima parametri",
     "Qualità",
     "Metodo DCT",
     "Fattore di smussamento",
     "Scala di grigi",
     "Huffman ottimizzato",
     "Dimensione originale",
     "Dimensione compressa",
     "Avanzate",
     "Progressivo",
     "Compressione",
     "Indice immagine",
     "Fotometria",
     "Informazioni documento acquisito",
     "Nome",
     "Descrizione",
     "Nome pagina",
     "Numero pagina",
     "di",
     "Posizione orizz. (pollici)",
     "Posizione vert. (pollici)",
     "Colori",
     "Trasparente",
     "Colore trasparente",
     "Interlacciato",
     "Sfondo",
     "Posizione orizz.",
     "Posizione vert.",
     "Tempo di ritardo",
     "Filtro",
     "Onda",
     "Ampiezza",
     "Lunghezza d'onda",
     "Fase",
     "Riflettente",
     "Filtro utente",
     "Filtri morfologici",
     "Dimensione finestra",
     "Massimo",
     "Minimo",
     "Apertura",
     "Chiusura",
     "Ruota",
     "Capovolgi",
     "Orizzontale",
     "Verticale",
     "Immagine nel dominio della frequenza",
     "Seleziona la regione da pulire",
     "Pulisci",
     "Ripristina"},
    // msGerman
    {"Vorschau",
     "Quelle",
     "Ergebnis",
     "OK",
     "Abbrechen",
     "Vorschau einfrieren",
     "Ergebnis in Quelle kopieren",
     "Kontrast",
     "Helligkeit",
     "Farbton",
     "Sättigung",
     "Wert",
     "Grundfarbe",
     "Neue Farbe",
     "Luminanz",
     "Rot",
     "Grün",
     "Blau",
     "Filterwerte",
     "Vorgaben",
     "Divisor",
     "Laden",
     "Speichern",
     "Tonwertangleichung",
     "Schwellenwert",
     "Angleichen",
     "Histogramm",
     "Grau",
     "Licht",
     "Links",
     "Oben",
     "Breite",
     "Höhe",
     "Farbe",
     "Anteil des Quellbilds",
     "Linse",
     "Brechung",
     "Parametervorschau",
     "Qualität",
     "DCT-Methode",
     "Glättungsfaktor",
     "Graustufen",
     "Optimierter Huffman-Code",
     "Originalgröße",
     "Komprimierte Größe",
     "Erweitert",
     "Progressiv",
     "Komprimierung",
     "Bildindex",
     "Photometrie",
     "Angaben zum gescannten Dokument",
     "Name",
     "Beschreibung",
     "Seitenname",
     "Seitennummer",
     "von",
     "Horiz. Position (Zoll)",
     "Vert. Position (Zoll)",
     "Farben",
     "Transparent",
     "Transparente Farbe",
     "Zeilensprung",
     "Hintergrund",
     "Horiz. Position",
     "Vert. Position",
     "Verzögerung",
     "Filter",
     "Welle",
     "Amplitude",
     "Wellenlänge",
     "Phase",
     "Reflektierend",
     "Benutzerfilter",
     "Morphologische Filter",
     "Fenstergröße",
     "Maximum",
     "Minimum",
     "Öffnung",
     "Schließung",
     "Drehen",
     "Spiegeln",
     "Horizontal",
     "Vertikal",
     "Bild im Frequenzbereich",
     "Zu bereinigenden Bereich auswählen",
     "Bereinigen",
     "Zurücksetzen"},
    // msSpanish
    {"Vista Previa",
     "Original",
     "Resultado",
     "Aceptar",
     "Cancelar",
     "Bloquear Vista Previa",
     "Copia Resultado al Original",
     "Contraste",
     "Brillo",
     "Tono",
     "Saturación",
     "Valor",
     "Color base",
     "Color nuevo",
     "Luminosidad",
     "Rojo",
     "Verde",
     "Azul",
     "Valores del filtro",
     "Predefinidos",
     "Divisor",
     "Cargar",
     "Guardar",
     "Ecualización",
     "Umbral",
     "Ecualizar",
     "Histograma",
     "Gris",
     "Luz",
     "Izquierda",
     "Arriba",
     "Ancho",
     "Alto",
     "Color",
     "Cantidad de imagen original",
     "Lente",
     "Refracción",
     "Vista Previa de Parámetros",
     "Calidad",
     "Método DCT",
     "Factor de suavizado",
     "Escala de grises",
     "Huffman óptimo",
     "Tamaño original",
     "Tamaño comprimido",
     "Avanzados",
     "Progresivo",
     "Compresión",
     "Índice de imagen",
     "Fotométrico",
     "Información del documento escaneado",
     "Nombre",
     "Descripción",
     "Nombre de página",
     "Número de página",
     "de",
     "Posición horiz. (pulgadas)",
     "Posición vert. (pulgadas)",
     "Colores",
     "Transparente",
     "Color transparente",
     "Entrelazado",
     "Fondo",
     "Posición horiz.",
     "Posición vert.",
     "Tiempo de retardo",
     "Filtro",
     "Onda",
     "Amplitud",
     "Longitud de onda",
     "Fase",
     "Reflectante",
     "Filtro de usuario",
     "Filtros morfológicos",
     "Tamaño de ventana",
     "Máximo",
     "Mínimo",
     "Apertura",
     "Cierre",
     "Rotar",
     "Voltear",
     "Horizontal",
     "Vertical",
     "Imagen en el dominio de la frecuencia",
     "Seleccione la región a limpiar",
     "Limpiar",
     "Restablecer"},
    // msFrench
    {"Prévisualisation",
     "Source",
     "Résultat",
     "Ok",
     "Annuler",
     "Bloquear Vista Previa",
     "Copia Resultado al Original",
     "Contraste",
     "Luminosité",
     "Teinte",
     "Saturation",
     "Valeur",
     "Couleur de base",
     "Nouvelle couleur",
     "Luminance",
     "Rouge",
     "Vert",
     "Bleu",
     "Valeurs du filtre",
     "Préréglages",
     "Diviseur",
     "Charger",
     "Enregistrer",
     "Égalisation",
     "Seuil",
     "Égaliser",
     "Histogramme",
     "Gris",
     "Lumière",
     "Gauche",
     "Haut",
     "Largeur",
     "Hauteur",
     "Couleur",
     "Quantité d'image source",
     "Lentille",
     "Réfraction",
     "Prévisualisation des paramètres",
     "Qualité",
     "Méthode DCT",
     "Facteur de lissage",
     "Niveaux de gris",
     "Huffman optimal",
     "Taille d'origine",
     "Taille compressée",
     "Avanzados",
     "Progressif",
     "Compression",
     "Index de l'image",
     "Photométrique",
     "Informations sur le document numérisé",
     "Nom",
     "Description",
     "Nom de la page",
     "Numéro de page",
     "sur",
     "Position horiz. (pouces)",
     "Position vert. (pouces)",
     "Couleurs",
     "Transparent",
     "Couleur transparente",
     "Entrelacé",
     "Arrière-plan",
     "Position horiz.",
     "Position vert.",
     "Délai",
     "Filtre",
     "Onde",
     "Amplitude",
     "Longueur d'onde",
     "Phase",
     "Réfléchissant",
     "Filtre utilisateur",
     "Filtres morphologiques",
     "Taille de la fenêtre",
     "Maximum",
     "Minimum",
     "Ouverture",
     "Fermeture",
     "Rotation",
     "Retourner",
     "Horizontal",
     "Vertical",
     "Image dans le domaine fréquentiel",
     "Sélectionnez la région à nettoyer",
     "Effacer",
     "Réinitialiser"},
    // msPortuguese
    {"Visualizar",
     "Original",
     "Resultado",
     "OK",
     "Cancelar",
     "Bloquear Visualização",
     "Copiar Resultado para o Original",
     "Contraste",
     "Brilho",
     "Matiz",
     "Saturação",
     "Valor",
     "Cor base",
     "Nova cor",
     "Luminosidade",
     "Vermelho",
     "Verde",
     "Azul",
     "Valores do filtro",
     "Predefinições",
     "Divisor",
     "Carregar",
     "Salvar",
     "Equalização",
     "Limiar",
     "Equalizar",
     "Histograma",
     "Cinza",
     "Luz",
     "Esquerda",
     "Topo",
     "Largura",
     "Altura",
     "Cor",
     "Quantidade da imagem original",
     "Lente",
     "Refração",
     "Visualização dos Parâmetros",
     "Qualidade",
     "Método DCT",
     "Fator de suavização",
     "Escala de cinza",
     "Huffman otimizado",
     "Tamanho original",
     "Tamanho comprimido",
     "Avançado",
     "Progressivo",
     "Compressão",
     "Índice da imagem",
     "Fotométrico",
     "Informações do documento digitalizado",
     "Nome",
     "Descrição",
     "Nome da página",
     "Número da página",
     "de",
     "Posição horiz. (polegadas)",
     "Posição vert. (polegadas)",
     "Cores",
     "Transparente",
     "Cor transparente",
     "Entrelaçado",
     "Fundo",
     "Posição horiz.",
     "Posição vert.",
     "Tempo de atraso",
     "Filtro",
     "Onda",
     "Amplitude",
     "Comprimento de onda",
     "Fase",
     "Refletivo",
     "Filtro do usuário",
     "Filtros morfológicos",
     "Tamanho da janela",
     "Máximo",
     "Mínimo",
     "Abertura",
     "Fechamento",
     "Girar",
     "Inverter",
     "Horizontal",
     "Vertical",
     "Imagem no domínio da frequência",
     "Selecione a região a limpar",
     "Limpar",
     "Redefinir"},
    // msGreek
    {"Προεπισκόπηση",
     "Πηγή",
     "Αποτέλεσμα",
     "OK",
     "Άκυρο",
     "Κλείδωμα προεπισκόπησης",
     "Αντιγραφή αποτελέσματος στην πηγή",
     "Αντίθεση",
     "Φωτεινότητα",
     "Απόχρωση",
     "Κορεσμός",
     "Τιμή",
     "Βασικό χρώμα",
     "Νέο χρώμα",
     "Λαμπρότητα",
     "Κόκκινο",
     "Πράσινο",
     "Μπλε",
     "Τιμές φίλτρου",
     "Προκαθορισμένα",
     "Διαιρέτης",
     "Φόρτωση",
     "Αποθήκευση",
     "Εξίσωση ιστογράμματος",
     "Κατώφλι",
     "Εξίσωση",
     "Ιστόγραμμα",
     "Γκρι",
     "Φως",
     "Αριστερά",
     "Πάνω",
     "Πλάτος",
     "Ύψος",
     "Χρώμα",
     "Ποσοστό εικόνας πηγής",
     "Φακός",
     "Διάθλαση",
     "Προεπισκόπηση παραμέτρων",
     "Ποιότητα",
     "Μέθοδος DCT",
     "Συντελεστής εξομάλυνσης",
     "Κλίμακα του γκρι",
     "Βέλτιστος Huffman",
     "Αρχικό μέγεθος",
     "Συμπιεσμένο μέγεθος",
     "Για προχωρημένους",
     "Προοδευτική",
     "Συμπίεση",
     "Δείκτης εικόνας",
     "Φωτομετρία",
     "Πληροφορίες σαρωμένου εγγράφου",
     "Όνομα",
     "Περιγραφή",
     "Όνομα σελίδας",
     "Αριθμός σελίδας",
     "από",
     "Οριζ. θέση (ίντσες)",
     "Κατακ. θέση (ίντσες)",
     "Χρώματα",
     "Διαφανές",
     "Διαφανές χρώμα",
     "Πεπλεγμένη",
     "Φόντο",
     "Οριζ. θέση",
     "Κατακ. θέση",
     "Χρόνος καθυστέρησης",
     "Φίλτρο",
     "Κύμα",
     "Πλάτος κύματος",
     "Μήκος κύματος",
     "Φάση",
     "Ανακλαστικό",
     "Φίλτρο χρήστη",
     "Μορφολογικά φίλτρα",
     "Μέγεθος παραθύρου",
     "Μέγιστο",
     "Ελάχιστο",
     "Διάνοιξη",
     "Σύγκλειση",
     "Περιστροφή",
     "Αναστροφή",
     "Οριζόντια",
     "Κατακόρυφα",
     "Εικόνα στο πεδίο συχνοτήτων",
     "Επιλέξτε την περιοχή προς καθαρισμό",
     "Καθαρισμός",
     "Επαναφορά"},
}};

// A row with fewer than 87 initialisers would leave null pointers at its end.
consteval bool EveryDefaultPresent() {
  for (const auto &row : kDefaultWords)
    for (const char *text : row)
      if (text == nullptr || *text == '\0')
        return false;
  return true;
}
static_assert(EveryDefaultPresent(),
              "every built-in word needs a text in every language");

using TMsgRows = std::array<TMsgRow, vxMsgLanguageCount>;

void FillDefaults(TMsgRows &rows) {
  for (size_t lang = 0; lang < kDefaultWords.size(); ++lang)
    for (int w = 0; w < vxMsgWordCount; ++w)
      rows[lang][w] = kDefaultWords[lang][w];
}

// Built on first use rather than at static initialisation, so any other
// initialiser can already read captions whatever the link order.
TMsgRows &Rows() {
  static TMsgRows rows = [] {
    TMsgRows r;
    FillDefaults(r);
    return r;
  }();
  return rows;
}

// Index into Rows() of a language with a row, or -1.
int RowIndex(TMsgLanguage language) {
  const int v = static_cast<int>(language);
  if (v < static_cast<int>(msEnglish) || v > static_cast<int>(msUser))
    return -1;
  return v - static_cast<int>(msEnglish);
}

bool ValidWord(int word) { return word >= 0 && word < vxMsgWordCount; }

struct TLanguageCode {
  std::string_view code;
  int id;
};

// ISO 639-1 codes and their classic primary language identifiers.
constexpr TLanguageCode kLanguageCodes[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05},
    {"da", 0x06}, {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0A},
    {"fi", 0x0B}, {"fr", 0x0C}, {"he", 0x0D}, {"iw", 0x0D}, {"hu", 0x0E},
    {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13},
    {"no", 0x14}, {"nb", 0x14}, {"nn", 0x14}, {"pl", 0x15}, {"pt", 0x16},
    {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sr", 0x1A}, {"sk", 0x1B},
    {"sq", 0x1C}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"ur", 0x20},
    {"id", 0x21}, {"uk", 0x22}, {"be", 0x23}, {"sl", 0x24}, {"et", 0x25},
    {"lv", 0x26}, {"lt", 0x27}, {"fa", 0x29}, {"vi", 0x2A}, {"hy", 0x2B},
    {"eu", 0x2D}, {"mk", 0x2F}, {"af", 0x36}, {"ka", 0x37}, {"hi", 0x39},
};

constexpr int kLangEnglish = 0x09;

} // namespace

TMsgRow &TMsgTable::operator[](TMsgLanguage language) const {
  const int row = RowIndex(language);
  if (row < 0)
    throw std::out_of_range("vxMessages: language has no caption row");
  return Rows()[row];
}

std::string &TMsgTable::at(TMsgLanguage language, int word) const {
  if (!ValidWord(word))
    throw std::out_of_range("vxMessages: word out of range");
  return (*this)[language][word];
}

void VXSetTranslationWord(TMsgLanguage language, int word, std::string text) {
  const int row = RowIndex(language);
  if (row < 0 || !ValidWord(word))
    return;
  Rows()[row][word] = std::move(text);
}

std::string vxmsg(int word, TMsgLanguage language) {
  if (!ValidWord(word))
    return {};
  TMsgRows &rows = Rows();
  if (language == msSystem) {
    // Taken as stored: an application that empties a word for the system
    // language means it.
    return rows[RowIndex(LanguageFromPrimaryId(SystemPrimaryLanguageId()))]
               [word];
  }
  const int row = RowIndex(language);
  const std::string &english = rows[RowIndex(msEnglish)][word];
  if (row < 0)
    return english;
  const std::string &text = rows[row][word];
  return text.empty() ? english : text;
}

void VXSetDefaultTranslationWords() { FillDefaults(Rows()); }

int LocalePrimaryLanguageId(std::string_view localeName) {
  // language[_territory][.codeset][@modifier]; a few systems write "de-DE".
  const size_t end = localeName.find_first_of("_.@-");
  std::string lang(localeName.substr(0, end));
  for (char &c : lang)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  if (lang.empty() || lang == "c" || lang == "posix")
    return kLangEnglish;
  for (const auto &entry : kLanguageCodes)
    if (entry.code == lang)
      return entry.id;
  return 0;
}

int SystemPrimaryLanguageId() {
  for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char *value = std::getenv(name);
    if (value != nullptr && *value != '\0')
      return LocalePrimaryLanguageId(value);
  }
  return kLangEnglish;
}

TMsgLanguage LanguageFromPrimaryId(int id) {
  switch (id) {
  case 0x07:
    return msGerman;
  case 0x08:
    return msGreek;
  case 0x0A:
    return msSpanish;
  case 0x0C:
    return msFrench;
  case 0x10:
    return msItalian;
  case 0x16:
    return msPortuguese;
  default:
    return msEnglish;
  }
}

} // namespace vx
