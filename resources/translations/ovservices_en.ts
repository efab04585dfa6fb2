<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>MessageBoxViewController</name>
    <message>
        <source>Message</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Working</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVAboutViewController</name>
    <message>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OvServices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Application name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The desktop companion of the Orvane recorder: it downloads the sessions of every plugged-in device and uploads them to your account.

© Pellwick. All rights reserved.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Legal notice</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVAccountViewController</name>
    <message>
        <source>Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in with your Orvane account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>E-mail</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signing in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create an account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Forgot your password?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The email or the password is invalid.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The authentication failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in to your Orvane account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Authentication failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign Out</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVAssignUserToDeviceViewController</name>
    <message>
        <source>Assign a user to an Orvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drag a user onto an Orvane, or select both and press Assign.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected Orvanes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Orvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>User</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Team</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refresh teams</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search users</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Users</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loading teams</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Assign</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Assign the selected user to the selected Orvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+Return</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Assigning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The selected Orvane was unplugged. Select another one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear the search</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVBatteryGauge</name>
    <message>
        <source>N/A</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVConnectionDoctor</name>
    <message>
        <source>Store folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Make %1 a folder you can write to, on a disk with at least 512 MiB free</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Log folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Make %1 a folder you can write to</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device library</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing answers on %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start the device service (ovdevsim serve), or point OV_DEVSIM_SOCKET at its socket</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Data mode, firmware %1, link at location %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Data mode, but the link is gone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unplug the device and plug it in again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device at location %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Recovery mode: its sessions cannot be read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep it plugged in while OvServices runs: it restores the firmware</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No device is plugged in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server clock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>directly, no proxy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>through the proxy %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check the network connection, a firewall, and the server address (OV_SERVER_URL); set http_proxy and https_proxy if this network needs a proxy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check the proxy %1 (http_proxy, https_proxy, no_proxy or the desktop&apos;s proxy settings), the network connection and the server address (OV_SERVER_URL)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not answer (%2): %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server did not answer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 answers (HTTP %2), %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The answer carries no Date header</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server&apos;s clock is %1 s from this computer&apos;s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Turn on network time (timedatectl set-ntp true) and check the time zone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Credentials</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nobody is signed in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in: ovservices sign-in USER</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server did not answer the sign-in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check the server check above</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server accepts the password of %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server refuses the password of %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign out and sign in again with the current password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The sign-in failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 cannot be written to</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is writable, %2 MiB free</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Autostart</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OvServices does not start with the session</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 starts %2, which is not an executable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Turn &quot;Start at login&quot; off and on again in the preferences</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 starts %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tray</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use a desktop with a system tray (StatusNotifier or XEmbed), or run ovservices --headless</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No D-Bus session bus: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is present</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No StatusNotifier host; an X11 tray (XEmbed) may still show the icon</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No StatusNotifier host on the session bus</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sleep inhibitor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Without systemd-logind the computer may sleep during a download: keep it awake by hand while syncing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No D-Bus system bus: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is not on the system bus</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update feed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No update feed is configured</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 answers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not answer: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check the network connection and the feed address (OV_APPCAST_URL)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVDataLookup</name>
    <message>
        <source>All</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVDeviceInfo</name>
    <message>
        <source>N/A</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVDeviceManager</name>
    <message>
        <source>Device %@ not found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device %1 has no session starting at %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The session is not all stored yet: plug in device %1 to download the rest</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVHTTPStatus</name>
    <message>
        <source>Continue</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Switching Protocols</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Created</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Accepted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Non-Authoritative Information</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No Content</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reset Content</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Partial Content</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Multiple Choices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Moved Permanently</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>See Other</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not Modified</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Temporary Redirect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Permanent Redirect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bad Request</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unauthorized</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Payment Required</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Forbidden</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not Found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Method Not Allowed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not Acceptable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Proxy Authentication Required</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Request Timeout</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Conflict</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Length Required</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Precondition Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Content Too Large</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URI Too Long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unsupported Media Type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Range Not Satisfiable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Expectation Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unprocessable Content</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Too Many Requests</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Internal Server Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not Implemented</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bad Gateway</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Service Unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gateway Timeout</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HTTP Version Not Supported</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Informational</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Success</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Redirection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Client Error</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVLogArchiveContents</name>
    <message>
        <source>The log archive %1 cannot be read.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVMainWindowController2</name>
    <message>
        <source>OvServices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Menu</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Orvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show the Devices page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show the Account page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show the Preferences page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Support</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show the Support page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show the About page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Content</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVMaintenanceFlow</name>
    <message>
        <source>Firware update</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The firmware update on OSX version greather than El Capitan is at the moment not accessible. Please contact support about the issue at </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Already up to date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There is a firware update available (%1) but you need to erase your device before upgrading.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please wait while your device firmware is being updated. Please do not unplug the Orvane device or you might lose all your data. The whole process takes around 1 minute.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to update device. Please try again by RESTARTING OvServices. Please DO NOT unplug the device. If the issue persist, please contact support</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you wish to restore the Orvane device to its original state? You will lose all your data.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please wait while it is restoring the device original state.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to restore device. Please try again. If issue persist, please contact support.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you wish to erase all data on the Orvane device?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please wait while it is erasing the data on the Orvane device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Erasing the data on the Orvane device completed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to erase device. Please try again. If issue persist, please contact support.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Updating the Orvane Device completed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restoring the Vizavoz Device to its original state completed. Please do a &quot;Forget this Device&quot; on your iPhone or iPad.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There is a firware update available (%1) but you need to erase your device before upgrading. Please do not use a USB HUB. Connect it directly to your computer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There is a new firmware version available. Would you like to update to firmware version %1? Please do not use a USB HUB. Connect it directly to your computer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you wish to update the Orvane device to firwmare %1?. Please do not use a USB HUB. Connect it directly to your computer.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVNoOrvaneViewController</name>
    <message>
        <source>Information</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No Orvanes connected!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please login!</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVOrvaneCell</name>
    <message>
        <source>Serial number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default user</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Battery</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Battery state</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IDENTIFY</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Identify</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync state</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Synced sessions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync error</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVOrvaneCellModel</name>
    <message>
        <source>Unknown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>N/A</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Charged</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Charging</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Recovering</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVOrvaneListViewController</name>
    <message>
        <source>Devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Back to the device list</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ASSIGN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Assign users to devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SYNC</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync all devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No sessions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CANCEL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No Orvane connected. Plug an Orvane device into a USB port of this computer.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVOrvanesViewController</name>
    <message>
        <source>Device detail</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Model</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hardware</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Battery</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Battery level</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default user</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>UPDATE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update firmware</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RESTORE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ERASE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Erase</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IDENTIFY</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Identify</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sessions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SYNC</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No user assigned on the Orvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Would you like the Orvane to be assigned to your account?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>N/A</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(Connected)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(Disconnected)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CANCEL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show in folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error while assigning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There was an error while trying to assign the Orvane device to your account. Please try disconnecting the Orvane and rebooting it by pressing on the button on the device until it turn off completely then connect it again to the computer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>EXPORT…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export selected sessions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write the selected sessions as verifiable bags into a folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Sessions To</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n session(s) exported to %1, one folder (bag) each, listed in %2.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>Not exported:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Finished</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>The export to %1 stopped after %n session(s): %2</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
</context>
<context>
    <name>OVPreferencesViewController</name>
    <message>
        <source>Preferences</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start OvServices at login</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start at login</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Store sessions automatically</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Store automatically</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync sessions automatically</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync automatically</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check for updates automatically</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update automatically</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Developer settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>API version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reset</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reset server settings</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVService</name>
    <message>
        <source>Athletes not part of any team</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVSessionPageStorer</name>
    <message>
        <source>An unexpected exception occurred during session PAGE storing. Please try again by re-inserting the device in the USB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sending command to device to fetch a page of data failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CRC invalid.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVSessionRowAppearance</name>
    <message>
        <source>Status N/A</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ready to Sync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Synced</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed Syncing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Corrupted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sorry the session is corrupted and cannot by synced.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Waiting for Storing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Syncing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Storing Locally</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CRC Checking</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVSessionStorer</name>
    <message>
        <source>Error in fetching data from the device. Please try to re-insert the device in the usb</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error occured during the saving of the sessions data pages in the local storage. Please try to re-insert the device into the USB</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVSessionSyncInfo</name>
    <message>
        <source>User</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Duration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Percentage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync error</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVSessionSyncher</name>
    <message>
        <source>Session doesn&apos;t have all the data to sync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error while copying session data file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server does not hold every byte of the session (%1 of %2 bytes)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An unexpected exception occurred during session SYNCHER. Please try again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed Syncing. Please try again. Error details: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVStatusItem</name>
    <message>
        <source>Open OvServices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Dashboard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit OvServices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OvServices menu</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVSupportMailer</name>
    <message>
        <source>The mail command ended with code %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The mail command &quot;%1&quot; could not be started.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OVSupportViewController</name>
    <message>
        <source>Support</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Describe your problem:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Problem description</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send Support Request…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send support request</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Log archive contents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Files to send</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send these files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open the log folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel the support request</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Allow OvServices to write log files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Allow logging</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete All Local Sessions…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete all local sessions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The log files in %1 could not be zipped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>These files will be attached to your e-mail (%1):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No mail program took the support request (%1). The log archive %2 was kept: please attach it to an e-mail to %3.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Support Request Sent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Thank you for emailing Orvane Customer Support. Your request will be investigated as soon as possible.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Orvanes connected.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>In order to delete local session, all Orvanes must be unplugged.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Syncing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>In order to delete local session, all sessions syncing must be aborted.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete the ALL local sessions?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Deleted sessions cannot be restored.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Diagnose</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Diagnose the connection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Diagnosing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Diagnosis</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK  %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FAILED  %1: %2
Fix: %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SKIPPED  %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
