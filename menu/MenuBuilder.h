#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "hub/OrderedSends.h"
#include "images/MusicArtwork.h"
#include "menu/StayOpenMenu.h"
#include "platform/Lifetime.h"
#include "platform/Result.h"
#include "platform/Task.h"
#include "platform/ui/Button.h"
#include "platform/ui/ButtonTarget.h"
#include "platform/ui/MenuItem.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"
#include "state/StateAccessors.h"

namespace corvix {

class MediaAppGridView;
class OrbeluneClient;
class OrbeluneToggleSwitch;

/// Finds a row's record in a newer document of the same structure; null when it is not there.
using RecordLocator = std::function<const JsonObject*(const JsonObject& state)>;
/// Shows a newer record in a row; the record shares the newer document.
using RecordUpdate = std::function<void(const SharedRecord& record)>;

/// Turns the state document into the status menu: the full menu, the loading and offline
/// placeholders, and the row kinds the menu's sections share. Created once by the application
/// and kept for the whole run; its caches and per-control marks survive rebuilds, while the
/// rows, their targets and the playback updaters belong to one built menu. Main thread only.
class MenuBuilder {
  public:
    /// The width in points of every custom row.
    static constexpr double kRowWidth = 326;

    /// `sends` is the application's, shared with the notch player and the media controls.
    MenuBuilder(double width, std::weak_ptr<StayOpenMenu> menu, const OrbeluneClient& client,
                OrderedSends& sends, std::function<void()> openDashboard,
                std::function<void()> openSettings, std::function<void()> refresh,
                std::function<void()> quit);
    MenuBuilder(const MenuBuilder&) = delete;
    MenuBuilder& operator=(const MenuBuilder&) = delete;

    /// A placeholder menu with one line, shown until the first state arrives.
    void buildLoading(StayOpenMenu& menu, std::string_view message);
    /// The placeholder after a failed refresh: "not reachable" and the error's description.
    void buildOffline(StayOpenMenu& menu, std::string_view message);
    /// The full menu from a state document, which stays alive as `currentState`.
    void build(StayOpenMenu& menu, std::shared_ptr<const JsonObject> state);
    /// Updates the music section in place from `state`; false (and nothing changed) when the
    /// state has no available player with an active one or no updater is registered.
    bool updatePlayback(std::shared_ptr<const JsonObject> state);
    /// Shows a newer document of the same structure in the built device, automation and pinned
    /// rows without rebuilding; controls the user is holding keep their value. False (nothing
    /// changed) while a placeholder is shown.
    bool updateRows(std::shared_ptr<const JsonObject> state);

    // Row factories shared by the menu's sections. Geometry is in points from the row's
    // bottom left corner.

    /// A disabled heading, 40 points high with a subtitle (even an empty one), else 30.
    std::shared_ptr<MenuItem> sectionTitleMenuItem(
        std::string_view title, std::optional<std::string_view> subtitle = std::nullopt) const;
    /// A row with an icon, a title, an optional subtitle and a chevron; the caller attaches the
    /// submenu.
    std::shared_ptr<MenuItem> submenuItem(std::string_view title, std::string_view icon,
                                          std::optional<std::string_view> subtitle) const;
    /// A clickable row (an empty icon name leaves the icon out); a click runs `action` and the
    /// menu stays open.
    std::shared_ptr<MenuItem> actionItem(std::string_view title, std::string_view icon,
                                         std::optional<std::string_view> subtitle, bool isEnabled,
                                         std::optional<std::string_view> accessibilityLabel,
                                         std::function<void()> action) const;
    /// A 16-point system symbol at (14, y) in `view`, tinted with the secondary label colour.
    static void addIcon(std::string_view name, View& view, double y);
    /// The symbol of an automation or pinned item.
    static std::string iconFromItem(const JsonObject& item);

    /// The row of one scene or AV flow: a run button, or a switch for switchable AV flows.
    /// With `locate` the row follows its record in newer documents.
    std::shared_ptr<MenuItem> programScriptRow(const JsonObject& program,
                                               const RecordLocator& locate = {});
    /// Runs the hub item `item["id"]`, marking it pending (and rebuilding so its row shows
    /// it) until the hub answers; remembers a failure for the row and shows it.
    void runItem(const JsonObject& item, std::optional<bool> desiredState);
    /// `runItem` of the item with the id `id`; nothing for an empty id. Taken by value: the
    /// rebuild it starts may end the row that holds the caller's text.
    void runItemWithId(std::string id, std::optional<bool> desiredState);

    // Fields, in the order the menu's sections rely on them.
    const double width;
    const std::weak_ptr<StayOpenMenu> menu;
    const OrbeluneClient& client;
    /// The ordered sends of the sliders, pickers and steppers; they outlive every menu.
    OrderedSends& sends;
    const std::function<void()> openDashboard;
    const std::function<void()> openSettings;
    const std::function<void()> refresh;
    const std::function<void()> quit;
    /// Targets of the current menu's controls, which hold them only weakly.
    std::vector<std::shared_ptr<ButtonTarget>> buttonTargets;
    std::set<std::string, std::less<>> mediaAppsModeDeviceIds;
    std::map<std::string, std::vector<JsonObject>, std::less<>> mediaAppCache;
    std::set<std::string, std::less<>> mediaAppLoadingDeviceIds;
    std::map<std::string, std::string, std::less<>> mediaAppErrors;
    std::map<std::string, TaskHandle, std::less<>> mediaAppIconTasks;
    /// Every grid shown for a device (a device can appear in more than one place).
    std::map<std::string, std::vector<std::weak_ptr<MediaAppGridView>>, std::less<>> mediaAppGrids;
    /// The music section's artwork loads (their running tasks in `musicArtworkTasks`).
    MusicArtworkLoader musicArtworkLoader;
    std::optional<std::vector<JsonObject>> musicPlaylistCache;
    bool musicPlaylistLoading = false;
    std::optional<std::string> musicPlaylistError;
    /// The output chosen in the menu; while set it overrides the hub's active player.
    std::optional<std::string> localActiveMusicPlayerId;
    std::optional<JsonObject> activeMusicPlayer;
    /// The document of the last build or in-place update; none while a placeholder is shown.
    std::shared_ptr<const JsonObject> currentState;
    std::vector<std::function<void(const JsonObject&)>> playbackUpdateHandlers;
    /// How the current menu's rows show a newer document (see `updateRows`).
    std::vector<std::function<void(const SharedRecord& state)>> stateUpdateHandlers;
    /// Hub item ids whose run is in flight.
    std::set<std::string, std::less<>> pendingControlIds;
    /// The description of each item's last failed run.
    std::map<std::string, std::string, std::less<>> failedControlMessages;

    // Device rows and their runners. With `locate`, a device's rows follow its record in
    // newer documents.

    /// Appends one device's entry to `parent`: a light row, a submenu of its controls, a power
    /// row, an action row or a disabled line.
    void addDevice(const SharedRecord& device, StayOpenMenu& parent,
                   const RecordLocator& locate = {});
    void addLightDevice(const SharedRecord& device, StayOpenMenu& parent);
    /// The climate summary, mode and target temperature rows.
    void addClimate(const JsonObject& device, StayOpenMenu& submenu);
    /// `power` is a member of `device`.
    std::shared_ptr<MenuItem> powerItem(std::string_view title, const SharedRecord& device,
                                        const JsonObject& power);
    /// A level slider that sends every position it reports, in order, under `payloadKey`,
    /// "level", "value" and "percent"; disabled without a command.
    std::shared_ptr<MenuItem> sliderItem(std::string_view title, const JsonObject& device,
                                         const JsonObject& control, std::string_view payloadKey);
    /// At most four segments; `action` (none: disabled) receives the chosen list value.
    std::shared_ptr<MenuItem> segmentedItem(std::string_view title,
                                            const std::vector<std::string>& values,
                                            std::string_view selected,
                                            std::function<void(const std::string&)> action);
    /// `action` (none: disabled) receives each new value.
    std::shared_ptr<MenuItem> stepperItem(std::string_view title, double value, double minimum,
                                          double maximum, double step,
                                          std::function<void(double)> action);
    std::shared_ptr<MenuItem> sensorDeviceItem(const JsonObject& sensor);
    /// Three buttons a row, each running its command record.
    std::shared_ptr<MenuItem> commandGridItem(std::string_view title, const ObjectList& commands,
                                              const JsonObject& device);
    /// Switches the device by its power item or command; on any failure `control` (when given)
    /// is set back, and then `didSetBack` runs.
    void runPower(const JsonObject& device, const JsonObject& power, bool desired,
                  const std::weak_ptr<OrbeluneToggleSwitch>& control,
                  std::function<void()> didSetBack = {});
    /// Sends a device command; nothing without a device id or a command.
    void runCommand(const JsonObject& device, std::string_view command, const JsonObject& payload);
    /// `runCommand` to the device with the id `deviceId`.
    void runDeviceCommand(const std::string& deviceId, std::string_view command,
                          const JsonObject& payload);
    /// Runs a command record: its item, else its key as a device command; `setBack` runs when
    /// it fails or nothing could be sent.
    void runCommandObject(const JsonObject& record, const JsonObject& device,
                          std::function<void()> setBack = {});
    /// `runCommand` through the ordered sends of `control` of the device, so the values the
    /// user gives it reach the hub in order.
    void runCommandInOrder(const std::string& deviceId, std::string_view control,
                           const std::string& command, JsonObject payload);

    // Hooks of the sections built elsewhere.

    /// Appends the music section for a player block whose "activePlayer" is already resolved.
    void addMusicPlayer(const JsonObject& musicPlayer, StayOpenMenu& parent);
    // The music section (its rows read `activeMusicPlayer` when clicked, so they act on the
    // player the menu shows now).

    std::shared_ptr<MenuItem> musicNowPlayingItem(const JsonObject& active);
    std::shared_ptr<MenuItem> musicTransportItem(const JsonObject& active);
    std::shared_ptr<MenuItem> musicTimelineItem(const JsonObject& active);
    std::shared_ptr<MenuItem> musicOptionsItem(const JsonObject& active);
    std::shared_ptr<MenuItem> musicListenLaterItem(const JsonObject& musicPlayer,
                                                   const JsonObject& active);
    std::shared_ptr<MenuItem> musicVolumeItem(const JsonObject& active);
    /// A symbol button of the transport and options rows; a click runs `click`.
    std::shared_ptr<Button> addMusicButton(View& view, std::string_view symbol, const Rect& frame,
                                           BezelStyle bezel, bool isEnabled,
                                           std::function<void()> click);
    /// Applies a music command to `currentState` at once and rebuilds the menu from it.
    void projectMusicCommand(std::string_view action, const JsonObject& player,
                             const JsonObject& payload);
    void runMusicCommand(std::string_view action, const JsonObject& player,
                         const JsonObject& payload);
    void runListenLaterShuffle(const JsonObject& target);
    std::shared_ptr<MenuItem> musicPlaylistsSubmenuItem(const JsonObject& target);
    std::shared_ptr<MenuItem> musicPlaylistRow(const JsonObject& playlist,
                                               const JsonObject& target);
    /// Starts a playlist fetch unless one runs; without `force` only while nothing is cached
    /// and no failure is recorded (a failing hub is asked again through Retry).
    void loadMusicPlaylistsIfNeeded(bool force);
    /// The Playlists entry's subtitle for the cache, the fetch and its failure.
    std::string musicPlaylistsSubtitle() const;
    /// The Playlists submenu's rows for the cache, the fetch and its failure.
    void fillMusicPlaylistsSubmenu(StayOpenMenu& submenu, const JsonObject& target);
    /// Shows the cache, the fetch or its failure in the Playlists entry of the current menu, in
    /// place: nothing else in the menu changed, and a submenu the user has open stays open.
    void showMusicPlaylists();
    void runMusicPlaylist(const JsonObject& playlist, const JsonObject& target);
    std::shared_ptr<MenuItem> musicPlayerRow(const JsonObject& player, const JsonObject& active,
                                             const JsonObject& routeSource);
    void runMusicTransfer(const JsonObject& source, const JsonObject& target);

    /// Empties a media device's submenu and fills it.
    void buildMediaDeviceSubmenu(const JsonObject& device, StayOpenMenu& submenu);
    /// A callback that rebuilds `submenu` from `device` on the run loop's next turn (never under
    /// the event of a control the rebuild removes), while the builder and the submenu exist.
    std::function<void()> mediaDeviceRebuildLater(const JsonObject& device, StayOpenMenu& submenu);
    /// The media submenu's header: the tile, name, status and power switch.
    std::shared_ptr<MenuItem> mediaHeaderItem(const JsonObject& device);
    /// Appends the on-screen remote and, when the device has advanced commands, "More".
    void addMediaRemote(const JsonObject& device, StayOpenMenu& submenu);
    /// Adds one remote button to `parent`; without `command` it is shown unavailable.
    void addRemoteButton(std::string_view title, std::string_view symbol, const JsonObject* command,
                         const JsonObject& device, const Rect& frame, View& parent,
                         bool emphasized);
    /// The "More" grid: one column for one command, else two.
    std::shared_ptr<MenuItem> mediaCommandGridItem(const ObjectList& commands,
                                                   const JsonObject& device);
    /// The Apps panel: loading, the grid, no apps, or the error with a retry.
    /// `focusedApp`: the app whose tile had the keyboard in the grid this panel replaces.
    void addMediaAppsPanel(const JsonObject& device, StayOpenMenu& submenu,
                           const std::optional<std::string>& focusedApp);
    /// Fetches the device's apps once at a time and rebuilds `submenu` while in Apps mode.
    void loadMediaApps(const JsonObject& device, StayOpenMenu& submenu);
    void launchMediaApp(const JsonObject& app, const JsonObject& device);
    /// Starts a download for every app icon that is neither built in, cached nor loading.
    void loadMissingMediaAppIcons(const std::vector<JsonObject>& apps);
    /// Cancels the icon downloads whose keys are not in `except`.
    void cancelMediaAppIconTasks(const std::set<std::string, std::less<>>& except);
    /// The compact row of a light with controls (`OrbeluneLightMenuItem`); a null row leaves
    /// the light its header submenu.
    std::shared_ptr<MenuItem> makeLightMenuItem(const SharedRecord& device, StayOpenMenu& parent);
    /// Registers how the rows of the device being added show a newer record of it.
    void onDeviceUpdate(RecordUpdate update);
    /// Registers how a row built from `record` shows the record `locate` finds in a newer
    /// document, after each `updateRows`, while it still names the same thing (its id, or its
    /// name without one, and its kind). The one way rows follow the hub between rebuilds.
    void onRecordUpdate(const RecordLocator& locate, const JsonObject& record, RecordUpdate update);

  private:
    /// A music command through the ordered sends of `control` of `player`, so slider sends
    /// land in order.
    void runMusicCommandInOrder(std::string_view control, const std::string& action,
                                const JsonObject& player, JsonObject payload);
    /// What a music command's answer leads to: a refresh, after an alert for a real failure.
    std::function<void(Result<void>)> musicOutcome();
    /// Forgets the chosen output once the hub itself names it active.
    void settleLocalMusicPlayer(const JsonObject& state);
    void clearForPlaceholder(StayOpenMenu& menu);
    void addFooter(StayOpenMenu& menu, bool serverReachable);
    void addPinnedItem(const JsonObject& item, StayOpenMenu& parent, RecordLocator locate);
    /// A room's row; its submenu gets its rows (`fillRoom`) when first opened.
    void addRoom(const SharedRecord& room, std::size_t index, StayOpenMenu& parent);
    void fillRoom(const SharedRecord& room, std::size_t index, StayOpenMenu& submenu);
    void addAutomationSubmenu(std::string_view title, std::string_view icon,
                              const ObjectList& programs, ObjectList (*list)(const JsonObject&),
                              StayOpenMenu& parent);
    void rebuildFromCurrentState();
    /// Runs a hub item with no desired state: a refresh after success, every failure shown
    /// (the command grid's and the "More" grid's buttons).
    void runItemShowingEveryFailure(const std::string& itemId);
    void finishRun(const std::string& id, const Result<void>& result);
    std::shared_ptr<ButtonTarget> retainTarget(std::function<void()> handler);
    /// `addDevice` once the device's rows know where to register their updates.
    void addDeviceEntry(const SharedRecord& device, StayOpenMenu& parent);
    void addDeviceSubmenu(const SharedRecord& device, StayOpenMenu& parent);
    /// Shows a newer record in a program row built in `builtShape`; returns the row's shape.
    std::string updateProgramRow(MenuItem& item, const JsonObject& program,
                                 const std::string& builtShape);
    /// What a device command's answer leads to: a refresh, or an alert; `setBack` runs on
    /// every failure.
    std::function<void(Result<void>)> commandOutcome(std::function<void()> setBack = {});

    /// The device whose rows are being added, and how to find it in newer documents.
    RecordLocator deviceLocator_;
    /// The submenus showing "Loading Apps..." for a device, filled when its list arrives.
    std::map<std::string, std::vector<std::weak_ptr<Menu>>, std::less<>> mediaAppLoadWaiters_;
    /// The current menu's Playlists entry and the player its rows start playlists on.
    std::weak_ptr<MenuItem> musicPlaylistsEntry_;
    JsonObject musicPlaylistsTarget_;
    /// Counts output choices; only the newest transfer's answer touches the chosen output.
    std::uint64_t musicTransferGeneration_ = 0;
    SharedRecord currentDevice_;
    /// The updates of the device being added, registered together once it is added.
    std::vector<RecordUpdate> deviceUpdates_;
    /// Counts the menus built (placeholders too). A room opened after its menu was replaced
    /// gets no rows: they would register with the newer menu.
    std::uint64_t menuGeneration_ = 0;
    Lifetime lifetime_;
};

/// The devices listed at the top of the menu: media devices and those with apps, in room
/// order, each once by its id (or its name without one); devices with neither are left out.
ObjectList topLevelMediaDevices(const JsonObject& state);

/// The media header's second line: "Powered off", what is playing, the device's status text,
/// else "Ready".
std::string mediaDeviceStatusText(const JsonObject& device);

/// A menu row's one-line label, truncated at the tail.
std::shared_ptr<TextField> rowLabel(std::string_view text, const Rect& frame, Font font,
                                    Color color = Color::system(SystemColor::Label));

/// The sensor line of a room: "Temperature 21-23  Humidity 40%"; empty without readings.
std::string sensorSummaryText(const std::vector<double>& temperatures,
                              const std::vector<double>& humidities);

}  // namespace corvix
