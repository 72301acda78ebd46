
export default class QuandrelExtension extends Extension {
    enable() {
        this._service = new QuandrelService(this.path);
        this._service.enable();
    }

    disable() {
        this._service?.disable();
        this._service = null;
    }
}
