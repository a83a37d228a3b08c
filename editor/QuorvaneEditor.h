#pragma once

#include "LookAndFeels.h"
#include "TessmarkSlider.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <functional>
#include <memory>

namespace quorvane
{

class Quorvane;

/** The plug-in's editor: five faders, fourteen knobs on the EARLY and LATE pages, the reverb-mode
    selector, the MIX lock, the preset controls, a tooltip area and the version line, laid out on
    a 735 x 500 canvas scaled uniformly to the window. It changes parameters only through the
    processor's parameter objects and follows changes made elsewhere through change messages. */
class QuorvaneEditor : public juce::AudioProcessorEditor,
                       public juce::Button::Listener,
                       public juce::ChangeListener,
                       public juce::Slider::Listener,
                       public juce::ComboBox::Listener
{
public:
    static constexpr int designWidth = 735;
    static constexpr int designHeight = 500;
    static constexpr int numSliders = 19;
    static constexpr int numKnobLabels = 18;
    static constexpr int maxPresetFileNameLength = 40;
    static constexpr int noTooltipSource = -1;

    explicit QuorvaneEditor (Quorvane& processor);
    ~QuorvaneEditor() override;

    void paint (juce::Graphics&) override;
    void resized() override;
    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;

    void buttonClicked (juce::Button*) override;
    void changeListenerCallback (juce::ChangeBroadcaster*) override;
    void sliderValueChanged (juce::Slider*) override;
    void sliderDragStarted (juce::Slider*) override;
    void sliderDragEnded (juce::Slider*) override;
    void comboBoxChanged (juce::ComboBox*) override;

    //==============================================================================
    /** Re-reads every parameter and the stored editor size. */
    void refreshFromProcessor();
    /** Rebuilds the preset menu and presetPaths from the user and factory folders. */
    void rebuildPresetMenu();
    /** Lists other folders than the processor's (for a host of tests), then rebuilds the menu. */
    void setPresetFolders (const juce::File& factory, const juce::File& user);
    /** What the preset menu does with the chosen item id (1 copy, 2 paste, 3 save as, 4.. presets). */
    void handlePresetMenuResult (int id);
    /** Loads the previous (-1) or next (+1) preset of presetPaths, wrapping at both ends. */
    void stepPreset (int direction);
    /** Names the preset after a file chosen for saving and writes it there; true when written. */
    bool savePresetAs (const juce::File& chosen);

    /** Decides which help text the tooltip area shows, given what is under the pointer. */
    using HoverTest = std::function<bool (const juce::Component&, bool includeChildren)>;
    void updateTooltip (const HoverTest& isUnderPointer);

    //==============================================================================
    // Read access for the tests and the look of the window.
    TessmarkSlider& getSlider (int index) { return *sliders[(size_t) index]; }
    juce::Label& getKnobLabel (int index) { return *knobLabels[(size_t) index]; }
    juce::TextButton& getEarlyButton() { return earlyEditorSelect; }
    juce::TextButton& getLateButton() { return lateEditorSelect; }
    juce::TextButton& getMixLockButton() { return mixLockButton; }
    juce::TextButton& getPresetButton() { return presetsSelect; }
    juce::ImageButton& getPreviousButton() { return previousPreset; }
    juce::ImageButton& getNextButton() { return nextPreset; }
    juce::ComboBox& getModeComboBox() { return modeComboBox; }
    juce::Label& getModeLabel() { return modeLabel; }
    juce::Label& getPresetLabel() { return presetLabel; }
    const juce::StringArray& getPresetPaths() const { return presetPaths; }
    const juce::PopupMenu& getPresetMenu() const { return presetMenu; }
    int getCurrentPresetIndex() const { return currentPresetIndex; }
    const juce::String& getVersionText() const { return versionText; }
    const juce::String& getTooltipText() const { return tooltipText; }
    int getTooltipSource() const { return tooltipSource; }
    float getUiScale() const { return uiScale; }
    const juce::ComponentBoundsConstrainer& getConstrainer() const { return constrainer; }
    static QuorvaneLookAndFeel2013& productLookAndFeel();
    static TessmarkLookAndFeel2013& makerLookAndFeel();

private:
    void layoutControls();
    void applyStoredSize();
    juce::Rectangle<int> tooltipArea() const;
    void updateTooltip();
    void showPage (bool early);
    void setMixLockAppearance (bool locked);
    void showPresetName();
    void loadPresetAt (int position);
    void listPresetSection (const juce::File& folder, juce::StringArray& itemTexts);
    static void presetMenuCallback (int result, QuorvaneEditor* editor);
    int parameterIndexOf (const juce::Slider&) const;

    Quorvane& quorvane;

    juce::String clipboardText;
    juce::StringArray presetPaths;
    juce::PopupMenu presetMenu;
    int currentPresetIndex = -1; // before any choice: next loads the first, previous the last

    juce::ComponentBoundsConstrainer constrainer;
    juce::ResizableCornerComponent resizer { this, &constrainer };
    juce::Image headerImage;
    juce::Image arrowLeft, arrowRight;

    std::array<std::unique_ptr<TessmarkSlider>, numSliders> sliders;
    std::array<std::unique_ptr<juce::Label>, numKnobLabels> knobLabels;
    std::array<bool, numSliders> gestureOpen {};

    juce::TextButton earlyEditorSelect { "earlyEditorSelect" };
    juce::TextButton lateEditorSelect { "lateEditorSelect" };
    juce::TextButton mixLockButton { "mixLockButton" };
    juce::Label modeLabel { "hint" };
    juce::ComboBox modeComboBox { "modeComboBox" };
    juce::Label presetLabel { "hint" };
    juce::TextButton presetsSelect { "presetsSelect" };
    juce::ImageButton previousPreset { "previousPreset" };
    juce::ImageButton nextPreset { "nextPreset" };

    std::unique_ptr<juce::FileChooser> saveChooser;

    int tooltipSource = 0;
    int lastTooltipSource = 0;
    bool tooltipChanged = false;
    juce::String versionText;
    juce::String tooltipText;
    juce::String defaultTooltipText;
    juce::File factoryPresetFolder, userPresetFolder;
    float uiScale = 1.0f;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuorvaneEditor)
};

} // namespace quorvane
